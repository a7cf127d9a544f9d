#include "ui/chart_marks.h"

#include <algorithm>

namespace potencor::ui {

MarkPlacer::CellKey MarkPlacer::key(int cx, int cy)
{
    return (static_cast<CellKey>(static_cast<quint32>(cx)) << 32) | static_cast<quint32>(cy);
}

int MarkPlacer::cellOf(int px)
{
    return px >= 0 ? px / kCellPx : -((-px + kCellPx - 1) / kCellPx);
}

int MarkPlacer::firstOverlap(const QRect& r) const
{
    for (int cy = cellOf(r.top()); cy <= cellOf(r.bottom()); ++cy) {
        for (int cx = cellOf(r.left()); cx <= cellOf(r.right()); ++cx) {
            const auto it = cells_.constFind(key(cx, cy));
            if (it == cells_.constEnd())
                continue;
            for (int index : *it) {
                if (placed_[index].intersects(r))
                    return index;
            }
        }
    }
    return -1;
}

bool MarkPlacer::searchFree(QRect r, int direction, int& top) const
{
    const int lo = std::min(bandTop_, r.top());
    const int hi = std::max(bandBottom_, r.bottom());
    // Every step jumps past one placed label, so this ends.
    for (;;) {
        const int hit = firstOverlap(r);
        if (hit < 0) {
            top = r.top();
            return true;
        }
        if (direction < 0)
            r.moveBottom(placed_[hit].top() - 1);
        else
            r.moveTop(placed_[hit].bottom() + 1);
        if (r.top() < lo || r.bottom() > hi)
            return false;
    }
}

int MarkPlacer::place(const QRect& extent, QPoint anchor)
{
    QRect where = extent;
    if (firstOverlap(extent) >= 0) {
        // Labels stand above their points; going down would cover the point.
        int top = 0;
        if (searchFree(extent, -1, top) || searchFree(extent, +1, top))
            where.moveTop(top);
        // Else the band is full: the label stays where it was wanted.
    }
    const int index = static_cast<int>(placed_.size());
    const QRect footprint = where | QRect(anchor, QSize(1, 1));
    placed_.push_back(where);
    footprints_.push_back(footprint);
    for (int cy = cellOf(footprint.top()); cy <= cellOf(footprint.bottom()); ++cy) {
        for (int cx = cellOf(footprint.left()); cx <= cellOf(footprint.right()); ++cx)
            cells_[key(cx, cy)].push_back(index);
    }
    return where.top() - extent.top();
}

void MarkPlacer::removeLast()
{
    if (placed_.isEmpty())
        return;
    placed_.removeLast();
    const QRect r = footprints_.takeLast();
    for (int cy = cellOf(r.top()); cy <= cellOf(r.bottom()); ++cy) {
        for (int cx = cellOf(r.left()); cx <= cellOf(r.right()); ++cx) {
            auto it = cells_.find(key(cx, cy));
            if (it == cells_.end())
                continue;
            it->removeLast(); // indices go in ascending, so the last one is it
            if (it->isEmpty())
                cells_.erase(it);
        }
    }
}

void MarkPlacer::clear()
{
    placed_.clear();
    footprints_.clear();
    cells_.clear();
}

} // namespace potencor::ui
