#include "chart/marks.h"

#include "core/spare_capacity.h"

#include <algorithm>

namespace potencor::ui {

MarkPlacer::MarkPlacer(const QRect& area)
    : grid_(area.adjusted(-2 * kCellPx, -2 * kCellPx, 2 * kCellPx, 2 * kCellPx))
    , columns_((grid_.width() + kCellPx - 1) / kCellPx)
    , rows_((grid_.height() + kCellPx - 1) / kCellPx)
    , bandTop_(area.top())
    , bandBottom_(area.bottom())
    , cells_(static_cast<std::size_t>(columns_) * rows_)
{
}

QRect MarkPlacer::cellsOf(const QRect& r) const
{
    const QRect inside = r & grid_;
    if (inside.isEmpty())
        return {};
    // Non-negative offsets: plain integer division is the floor.
    const auto cell = [this](QPoint p) {
        return QPoint((p.x() - grid_.left()) / kCellPx, (p.y() - grid_.top()) / kCellPx);
    };
    return QRect(cell(inside.topLeft()), cell(inside.bottomRight()));
}

template <typename Visit> void MarkPlacer::forEachNear(const QRect& r, Visit visit) const
{
    const QRect cells = cellsOf(r);
    for (int cy = cells.top(); cy <= cells.bottom(); ++cy) {
        for (int cx = cells.left(); cx <= cells.right(); ++cx) {
            for (int index : cells_[static_cast<std::size_t>(cy) * columns_ + cx])
                visit(index);
        }
    }
    if (!grid_.contains(r)) {
        for (int index : straying_)
            visit(index);
    }
}

template <typename Update> void MarkPlacer::forEachCellList(const QRect& r, Update update)
{
    const QRect cells = cellsOf(r);
    for (int cy = cells.top(); cy <= cells.bottom(); ++cy) {
        for (int cx = cells.left(); cx <= cells.right(); ++cx)
            update(cells_[static_cast<std::size_t>(cy) * columns_ + cx]);
    }
    if (!grid_.contains(r))
        update(straying_);
}

int MarkPlacer::furthestOverlap(const QRect& r, int direction) const
{
    int found = -1;
    forEachNear(r, [&](int index) {
        const QRect& other = placed_[index];
        if (!other.intersects(r))
            return;
        if (found < 0 || (direction < 0 ? other.top() < placed_[found].top()
                                        : other.bottom() > placed_[found].bottom()))
            found = index;
    });
    return found;
}

bool MarkPlacer::searchFree(QRect r, int direction, int& top) const
{
    // A label moved further than this from its point no longer reads as its
    // label; in a crowd that dense it may as well overlap.
    const int reach = kMaxShiftInHeights * r.height();
    const int lo = std::max(std::min(bandTop_, r.top()), r.top() - reach);
    const int hi = std::min(std::max(bandBottom_, r.bottom()), r.bottom() + reach);
    // Every step jumps past at least one placed label, so this ends.
    for (;;) {
        const int hit = furthestOverlap(r, direction);
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
    bool clear = true;
    if (furthestOverlap(extent, -1) >= 0) {
        // Labels stand above their points; going down would cover the point.
        int top = 0;
        clear = searchFree(extent, -1, top) || searchFree(extent, +1, top);
        if (clear)
            where.moveTop(top);
    }
    const int index = static_cast<int>(placed_.size());
    placed_.push_back(where);
    footprints_.push_back(where | QRect(anchor, QSize(1, 1)));
    // With no room near, the label stays where it was wanted, over others.
    // Later labels need not keep clear of it: it is unreadable already, and
    // leaving it out keeps lookups short in the densest crowds.
    indexed_.push_back(clear);
    if (clear)
        forEachCellList(where, [index](std::vector<int>& list) { list.push_back(index); });
    return where.top() - extent.top();
}

void MarkPlacer::removeLast()
{
    if (placed_.isEmpty())
        return;
    footprints_.removeLast();
    const QRect extent = placed_.takeLast();
    const bool indexed = indexed_.back();
    indexed_.pop_back();
    // Indices go in ascending, so the last one is at the back of every list.
    if (indexed)
        forEachCellList(extent, [](std::vector<int>& list) {
            list.pop_back();
            releaseSpareCapacity(list);
        });
    releaseSpareCapacity(placed_);
    releaseSpareCapacity(footprints_);
    releaseSpareCapacity(indexed_);
}

void MarkPlacer::clear()
{
    placed_.clear();
    footprints_.clear();
    indexed_.clear();
    for (auto& cell : cells_)
        cell.clear();
    straying_.clear();
}

} // namespace potencor::ui
