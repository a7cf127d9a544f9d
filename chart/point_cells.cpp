#include "chart/point_cells.h"

#include <algorithm>

namespace potencor::ui {

PointCells::PointCells(QSize areaPx)
    : area_(QPoint(0, 0), areaPx)
    , columns_((areaPx.width() + kCellPx - 1) / kCellPx)
    , rows_((areaPx.height() + kCellPx - 1) / kCellPx)
    , cells_(static_cast<std::size_t>(std::max(columns_ * rows_, 0)))
{
}

QRect PointCells::cellsOf(const QRect& px) const
{
    const QRect in = px & area_;
    if (in.isEmpty())
        return {};
    return QRect(QPoint(in.left() / kCellPx, in.top() / kCellPx), QPoint(in.right() / kCellPx, in.bottom() / kCellPx));
}

void PointCells::append(const QRect& extentPx)
{
    const QRect c = cellsOf(extentPx);
    for (int row = c.top(); row <= c.bottom(); ++row)
        for (int column = c.left(); column <= c.right(); ++column)
            cells_[cellAt(column, row)].push_back(count_);
    ++count_;
}

void PointCells::removeLast(const QRect& extentPx)
{
    --count_;
    const QRect c = cellsOf(extentPx);
    for (int row = c.top(); row <= c.bottom(); ++row) {
        for (int column = c.left(); column <= c.right(); ++column) {
            std::vector<int>& points = cells_[cellAt(column, row)];
            if (!points.empty() && points.back() == count_)
                points.pop_back();
            // A long session undone gives its memory back.
            if (points.capacity() > 64 && points.size() < points.capacity() / 4)
                points.shrink_to_fit();
        }
    }
}

void PointCells::clear()
{
    for (std::vector<int>& points : cells_)
        std::vector<int>().swap(points);
    count_ = 0;
}

const std::vector<int>& PointCells::near(const QRect& areaPx) const
{
    found_.clear();
    const QRect c = cellsOf(areaPx);
    for (int row = c.top(); row <= c.bottom(); ++row)
        for (int column = c.left(); column <= c.right(); ++column) {
            const std::vector<int>& points = cells_[cellAt(column, row)];
            found_.insert(found_.end(), points.begin(), points.end());
        }
    // A point reaching several of the cells is listed by each.
    if (c.width() > 1 || c.height() > 1) {
        std::sort(found_.begin(), found_.end());
        found_.erase(std::unique(found_.begin(), found_.end()), found_.end());
    }
    return found_;
}

} // namespace potencor::ui
