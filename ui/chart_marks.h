#pragma once
// Placement of point labels so that none covers another. Labels are placed one
// at a time in index order; each keeps its place once placed, so appending a
// point places only its own label and removing the last one forgets only it.
#include <QHash>
#include <QPoint>
#include <QRect>
#include <QVector>

namespace potencor::ui {

class MarkPlacer {
public:
    // Bounds the search: a label wanted inside this band is not pushed out of it.
    explicit MarkPlacer(int bandTop = 0, int bandBottom = 0)
        : bandTop_(bandTop), bandBottom_(bandBottom)
    {
    }

    // Places the next label, wanted at `extent` (a label box with its shadow):
    // there if free, else shifted straight up to the nearest place clear of
    // every label placed so far, or down when there is no room above. `anchor` is its point's pixel, which
    // the callout joins to the box. Returns the vertical shift, px.
    int place(const QRect& extent, QPoint anchor);
    void removeLast();
    void clear();

    int count() const { return static_cast<int>(placed_.size()); }
    const QRect& extent(int index) const { return placed_[index]; }
    // Everything the label draws: its extent and its callout down to the anchor.
    const QRect& footprint(int index) const { return footprints_[index]; }

private:
    static constexpr int kCellPx = 32;
    using CellKey = quint64;
    static CellKey key(int cx, int cy);
    static int cellOf(int px);
    // Placed label overlapping `r`, or -1.
    int firstOverlap(const QRect& r) const;
    // Top of the nearest free place reached by moving `r` in one direction;
    // false when the search leaves the band.
    bool searchFree(QRect r, int direction, int& top) const;

    int bandTop_;
    int bandBottom_;
    QVector<QRect> placed_;
    QVector<QRect> footprints_; // each contains its extent, so cells index both
    QHash<CellKey, QVector<int>> cells_;
};

} // namespace potencor::ui
