#pragma once
// Device pixels that drawing still to come will cover with opaque pixels, so
// that what would be drawn there first can be left out: in a crowd of point
// labels most lie under later ones. One bit per pixel of an area.
#include <QPoint>
#include <QRect>
#include <QtGlobal>

#include <utility>
#include <vector>

namespace potencor::ui {

class OpaqueCover {
public:
    explicit OpaqueCover(const QRect& area);

    // Whether every pixel of `r` inside the area is covered.
    bool covers(const QRect& r) const;
    // The smallest rectangle holding every pixel of `r` inside the area that
    // is not covered; empty when all are. Also, of `inner` (a part of `r`),
    // the first and last column holding such a pixel (left > right: none).
    QRect uncovered(const QRect& r, const QRect& inner, int& innerLeft, int& innerRight) const;
    // Covers, per row of a sprite placed at `origin`, the columns first..last
    // of that row (none when first > last).
    void add(QPoint origin, const std::vector<std::pair<int, int>>& rows);

private:
    using Word = quint64;
    const Word* row(int y) const { return bits_.data() + static_cast<std::size_t>(y - area_.top()) * wordsPerRow_; }
    QRect area_;
    int wordsPerRow_;
    std::vector<Word> bits_; // empty until something is covered
};

} // namespace potencor::ui
