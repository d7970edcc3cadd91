#pragma once

#include "records/FileEvidence.h"

#include <QStringList>
#include <QWidget>

#include <vector>

namespace twinfold {

// Each channel's waveform in outline, one strip per channel with its label
// beside it: for every column of the file, a bar from its smallest to its
// largest sample. The labels come first; the strips fill in once the
// overviews are there.
class ChannelOverviewView : public QWidget {
    Q_OBJECT
public:
    explicit ChannelOverviewView(QWidget* parent = nullptr);

    void setLabels(const QStringList& labels);
    void setOverviews(std::vector<ChannelOverview> overviews);
    const QStringList& labels() const { return labels_; }
    bool hasOverviews() const { return !overviews_.empty(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int stripHeight() const;
    int labelWidth() const;
    void paintStrip(QPainter& painter, const QRectF& strip, const ChannelOverview* overview) const;

    QStringList labels_;
    std::vector<ChannelOverview> overviews_;
};

}  // namespace twinfold
