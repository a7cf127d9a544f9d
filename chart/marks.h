#pragma once
// Placement of point labels so that none covers another. Labels are placed one
// at a time in index order; each keeps its place once placed, so appending a
// point places only its own label and removing the last one forgets only it.
#include <QPoint>
#include <QRect>
#include <QVector>
#include <QtGlobal>

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
    // Room for this many labels in all, so that placing them does not
    // reallocate on the way.
    void reserve(int labels);

    int count() const { return static_cast<int>(placed_.size()); }
    const QRect& extent(int index) const { return placed_[index]; }
    // Everything the label draws: its extent and its callout down to the anchor.
    QRect footprint(int index) const { return placed_[index] | QRect(anchors_[index], QSize(1, 1)); }

private:
    static constexpr int kMaxShiftInHeights = 8;
    using Word = quint64;

    // The pixels that labels to keep clear of take, one bit each; a column
    // of words per pixel column of the grid, so that the rows a label's
    // columns leave free come from a few words per column. After the
    // columns, one such column per group of them holds what any of the
    // group takes, so that a wide label reads fewer.
    static constexpr int kGroupColumns = 8;
    void mark(const QRect& r, bool taken);
    Word* column(int x) { return taken_.data() + static_cast<std::size_t>(x) * wordsPerColumn_; }
    const Word* column(int x) const { return taken_.data() + static_cast<std::size_t>(x) * wordsPerColumn_; }
    // Rows lo..hi that those labels take anywhere in columns left..right, into
    // rows_ as bits from lo.
    void takenRows(int left, int right, int lo, int hi);

    QRect grid_; // px the bits cover
    int wordsPerColumn_;
    int bandTop_;
    int bandBottom_;
    std::vector<Word> taken_; // empty until the first label to keep clear of
    // Those labels reaching outside the grid: their part inside is in taken_.
    std::vector<QRect> straying_;
    QVector<QRect> placed_;
    QVector<QPoint> anchors_;
    std::vector<bool> kept_; // whether later labels keep clear of it
    std::vector<Word> rows_; // scratch of place()
};

} // namespace potencor::ui
