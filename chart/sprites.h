#pragma once
// Pre-rendered pieces of the chart for one device-pixel ratio, blitted
// instead of drawn shape by shape: thousands of points and labels stay cheap.
// Images are in device pixels (their own ratio left at 1).
#include "chart/layout.h"

#include <QImage>
#include <QPoint>

#include <array>
#include <map>
#include <utility>
#include <vector>

namespace potencor::ui {

class ChartSprites {
public:
    ChartSprites(const ChartLayout& layout, qreal dpr);

    qreal dpr() const { return dpr_; }
    // Device position of a logical coordinate, rounded to the nearest pixel.
    int toDevice(double logical) const { return floorToInt(logical * dpr_ + 0.5); }
    QPoint toDevice(QPointF logical) const { return {toDevice(logical.x()), toDevice(logical.y())}; }
    // Device pixels covering the logical pixel rectangle `px`.
    QRect toDevice(const QRect& px) const;
    // First device column (or row) and width of a 1 logical px line at the
    // exact logical coordinate `at`: the device pixels nearest it, so that
    // on a scaled display the line is where a click there measures.
    std::pair<int, int> lineAt(double at) const;

    // The measured-point circle; its top-left goes at pointOrigin(pixel).
    const QImage& point() const { return point_; }
    QPoint pointOrigin(QPoint pointPixel) const;

    // A label box of this width (logical px) with its shadow; top-left at the box's.
    struct MarkBox {
        QImage image;
        // Per row of the image, the columns first..last of its opaque face:
        // whatever lay under them is hidden.
        std::vector<std::pair<int, int>> opaque;
    };
    const MarkBox& markBox(int widthPx);
    // One digit in the label font, drawn `kDigitInsetPx` right of its origin.
    const QImage& digit(int d) const { return digits_[d]; }
    // The pixels of digit(d) that are not transparent (the rest paints
    // nothing), and of any digit.
    const QRect& digitInk(int d) const { return digitInk_[d]; }
    const QRect& digitsInk() const { return digitsInk_; }
    static constexpr int kDigitInsetPx = 1;

private:
    QImage newImage(QSizeF logical) const;
    void renderPoint();
    void renderDigits(const ChartLayout& layout);

    qreal dpr_;
    int boxHeightPx_;
    QImage point_;
    std::array<QImage, 10> digits_;
    std::array<QRect, 10> digitInk_;
    QRect digitsInk_;
    std::map<int, MarkBox> boxes_; // stays where it is while others are added
    const MarkBox* lastBox_ = nullptr; // labels mostly share a width
    int lastWidth_ = 0;
};

} // namespace potencor::ui
