#pragma once
// Series1's points by where they lie, so that repainting a small area visits
// the points near it rather than all of them: the chart cut into square
// cells, each listing in order the points whose extent reaches into it.
#include <QRect>
#include <QSize>

#include <vector>

namespace potencor::ui {

class PointCells {
public:
    explicit PointCells(QSize areaPx);

    int count() const { return count_; }
    // The next point, with its extent in logical px (outside the area: kept
    // in no cell, as it paints nothing there).
    void append(const QRect& extentPx);
    // The last point, with the extent it was appended with.
    void removeLast(const QRect& extentPx);
    void clear();

    // The points whose extents may reach `areaPx`, in increasing order.
    const std::vector<int>& near(const QRect& areaPx) const;

private:
    static constexpr int kCellPx = 32;
    // The cells a rectangle reaches, as column and row ranges; empty when
    // it lies outside the area.
    QRect cellsOf(const QRect& px) const;
    std::size_t cellAt(int column, int row) const { return static_cast<std::size_t>(row * columns_ + column); }

    QRect area_;
    int columns_;
    int rows_;
    std::vector<std::vector<int>> cells_;
    int count_ = 0;
    mutable std::vector<int> found_;
};

} // namespace potencor::ui
