#pragma once

#include <QWidget>

#include <cstdint>
#include <vector>

namespace twinfold {

// Where a two-channel file's samples fall on the mid/side plane, drawn as a
// density: mid upwards, side across. Identical channels stand as a vertical
// line, inverted ones lie flat, a pan tilts the line and a real stereo mix
// spreads into a cloud. Counts are log-scaled so a rare excursion still
// shows beside the busy centre.
class GoniometerView : public QWidget {
    Q_OBJECT
public:
    explicit GoniometerView(QWidget* parent = nullptr);

    // counts: size × size, row-major, row 0 the top (mid = +1), column 0
    // the left (side = −1); anything else clears the picture.
    void setCounts(std::vector<std::uint32_t> counts, int size);
    bool hasPicture() const { return !counts_.empty(); }

    QSize sizeHint() const override { return {132, 132}; }
    QSize minimumSizeHint() const override { return {72, 72}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage densityImage() const;
    void paintAxes(QPainter& painter, const QRectF& square) const;

    std::vector<std::uint32_t> counts_;
    int size_ = 0;
};

}  // namespace twinfold
