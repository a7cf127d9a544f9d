#pragma once
// Placement of point labels so that none covers another. Labels are placed one
// at a time in index order; each keeps its place once placed, so appending a
// point places only its own label and removing the last one forgets only it.
#include <QPoint>
#include <QRect>
#include <QVector>

#include <vector>

namespace potencor::ui {

class MarkPlacer {
public:
    // `area` is the control: a label wanted inside its height is not pushed
    // out of it, and lookups are fastest for labels near it.
    explicit MarkPlacer(const QRect& area);

    // Places the next label, wanted at `extent` (a label box with its shadow):
    // there if free, else shifted straight up to the nearest place clear of
    // every label placed so far, or down when there is no room above; never
    // further than a few label heights.
    // `anchor` is its point's pixel, which the callout joins to the box.
    // Returns the vertical shift, px.
    int place(const QRect& extent, QPoint anchor);
    void removeLast();
    void clear();

    int count() const { return static_cast<int>(placed_.size()); }
    const QRect& extent(int index) const { return placed_[index]; }
    // Everything the label draws: its extent and its callout down to the anchor.
    const QRect& footprint(int index) const { return footprints_[index]; }

private:
    static constexpr int kCellPx = 32;
    static constexpr int kMaxShiftInHeights = 8;
    // Cells of the grid a rectangle touches, clamped to the grid.
    QRect cellsOf(const QRect& r) const;
    template <typename Visit> void forEachNear(const QRect& r, Visit visit) const;
    // The cell lists (and the straying list) a placed extent belongs in.
    template <typename Update> void forEachCellList(const QRect& r, Update update);
    // Of the placed labels overlapping `r`, the one reaching furthest in the
    // direction of travel (up: -1, down: +1); -1 when none overlaps.
    int furthestOverlap(const QRect& r, int direction) const;
    // Top of the nearest free place reached by moving `r` in one direction;
    // false when the search leaves the band.
    bool searchFree(QRect r, int direction, int& top) const;

    QRect grid_; // px covered by the cells
    int columns_;
    int rows_;
    int bandTop_;
    int bandBottom_;
    QVector<QRect> placed_;
    QVector<QRect> footprints_;
    std::vector<bool> indexed_;           // whether the extent is in the cells
    std::vector<std::vector<int>> cells_; // indices of the extents touching each cell, ascending
    std::vector<int> straying_;           // labels reaching outside the grid
};

} // namespace potencor::ui
