#pragma once

#include <QStringList>
#include <QWidget>

namespace twinfold {

// Text that never widens its layout: it wraps to at most `maxLines` lines
// and shortens the last one with an ellipsis where it does not fit (in the
// middle for paths, at the end for prose).
class ElidedLabel : public QWidget {
    Q_OBJECT
public:
    ElidedLabel(Qt::TextElideMode mode, int maxLines, QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const { return text_; }
    // The lines drawn at the given width (the widget's own by default).
    QStringList displayedLines(int width = -1) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return maxLines_ > 1; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QStringList wrappedLines(int width) const;

    QString text_;
    Qt::TextElideMode mode_;
    int maxLines_;
};

}  // namespace twinfold
