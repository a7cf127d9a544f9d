#include "chart/marks.h"

#include "chart/bits.h"

#include "core/spare_capacity.h"

#include <algorithm>
#include <array>

namespace potencor::ui {
namespace {

using bits::kWordBits;
using bits::Word;

// The 64 bits of a bit string starting at bit `at` (>= 0), zeros past `words`.
Word bitsAt(const Word* s, int words, int at)
{
    const int w = at / kWordBits;
    const int shift = at % kWordBits;
    const Word low = w < words ? s[w] >> shift : 0;
    const Word high = shift > 0 && w + 1 < words ? s[w + 1] << (kWordBits - shift) : 0;
    return low | high;
}

} // namespace

MarkPlacer::MarkPlacer(const QRect& area)
    // Labels of points at the edges reach out of the control by about their
    // size: a margin round it keeps them in the bits.
    : grid_(area.adjusted(-64, -64, 64, 64))
    , wordsPerColumn_((grid_.height() + kWordBits - 1) / kWordBits)
    , bandTop_(area.top())
    , bandBottom_(area.bottom())
{
}

void MarkPlacer::mark(const QRect& r, bool taken)
{
    const QRect inside = r & grid_;
    if (inside.isEmpty())
        return;
    const int columns = grid_.width();
    const int groups = (columns + kGroupColumns - 1) / kGroupColumns;
    if (taken_.empty())
        taken_.assign(static_cast<std::size_t>(columns + groups) * wordsPerColumn_, 0);
    const int from = inside.top() - grid_.top();
    const int to = inside.bottom() - grid_.top();
    for (int x = inside.left() - grid_.left(); x <= inside.right() - grid_.left(); ++x) {
        if (taken) {
            bits::set(column(x), from, to);
            bits::set(column(columns + x / kGroupColumns), from, to);
        } else {
            bits::clear(column(x), from, to);
        }
    }
    if (taken)
        return;
    // A group's bits are its columns' together.
    for (int g = (inside.left() - grid_.left()) / kGroupColumns; g <= (inside.right() - grid_.left()) / kGroupColumns; ++g) {
        Word* group = column(columns + g);
        for (int w = from / kWordBits; w <= to / kWordBits; ++w) {
            Word any = 0;
            for (int x = g * kGroupColumns; x < std::min((g + 1) * kGroupColumns, columns); ++x)
                any |= column(x)[w];
            group[w] = any;
        }
    }
}

void MarkPlacer::takenRows(int left, int right, int lo, int hi)
{
    const int rows = hi - lo + 1;
    rows_.assign(static_cast<std::size_t>((rows + kWordBits - 1) / kWordBits), 0);
    // The part inside the grid: its columns' words ORed, then moved to lo.
    const int x0 = std::max(left, grid_.left());
    const int x1 = std::min(right, grid_.right());
    const int y0 = std::max(lo, grid_.top());
    const int y1 = std::min(hi, grid_.bottom());
    if (!taken_.empty() && x0 <= x1 && y0 <= y1) {
        const int firstWord = (y0 - grid_.top()) / kWordBits;
        const int lastWord = (y1 - grid_.top()) / kWordBits;
        const int n = lastWord - firstWord + 1;
        Word merged[8];
        std::vector<Word> many;
        Word* sum = merged;
        if (n > 8) {
            many.resize(static_cast<std::size_t>(n));
            sum = many.data();
        }
        // Whole groups of columns where they fit, single columns at the ends.
        std::array<const Word*, 32> fixedSources;
        std::vector<const Word*> manySources;
        const int count = x1 - x0 + 1;
        const Word** sources = fixedSources.data();
        if (count > static_cast<int>(fixedSources.size())) {
            manySources.resize(static_cast<std::size_t>(count));
            sources = manySources.data();
        }
        int used = 0;
        for (int x = x0 - grid_.left(); x <= x1 - grid_.left();) {
            if (x % kGroupColumns == 0 && x + kGroupColumns - 1 <= x1 - grid_.left()) {
                sources[used++] = column(grid_.width() + x / kGroupColumns) + firstWord;
                x += kGroupColumns;
            } else {
                sources[used++] = column(x) + firstWord;
                ++x;
            }
        }
        for (int w = 0; w < n; ++w) {
            Word any = 0;
            for (int k = 0; k < used; ++k)
                any |= sources[k][w];
            sum[w] = any;
        }
        // Bit (y - grid top - firstWord * 64) of sum is row y.
        const int base = grid_.top() + firstWord * kWordBits;
        for (int y = y0; y <= y1; y += kWordBits) {
            const int count = std::min(kWordBits, y1 - y + 1);
            Word word = bitsAt(sum, n, y - base);
            if (count < kWordBits)
                word &= (Word{1} << count) - 1;
            // Into rows_ at bit y - lo.
            const int at = y - lo;
            rows_[at / kWordBits] |= word << (at % kWordBits);
            if (at % kWordBits > 0 && at / kWordBits + 1 < static_cast<int>(rows_.size()))
                rows_[at / kWordBits + 1] |= word >> (kWordBits - at % kWordBits);
        }
    }
    // Parts outside the grid.
    for (const QRect& r : straying_) {
        if (r.left() <= right && r.right() >= left && r.top() <= hi && r.bottom() >= lo)
            bits::set(rows_.data(), std::max(r.top(), lo) - lo, std::min(r.bottom(), hi) - lo);
    }
}

int MarkPlacer::place(const QRect& extent, QPoint anchor)
{
    QRect where = extent;
    bool clear = !extent.isEmpty(); // an empty extent covers nothing and is covered by nothing
    if (clear) {
        // A label moved further than this from its point no longer reads as
        // its label; in a crowd that dense it may as well overlap.
        const int height = extent.height();
        const int reach = kMaxShiftInHeights * height;
        const int lo = std::max(std::min(bandTop_, extent.top()), extent.top() - reach);
        const int hi = std::min(std::max(bandBottom_, extent.bottom()), extent.bottom() + reach);
        // The label only moves up or down: which rows of its columns are
        // taken is all that matters. Rows from here on count from lo.
        takenRows(extent.left(), extent.right(), lo, hi);
        const int wanted = extent.top() - lo;
        const int last = hi - lo;
        if (bits::first(rows_.data(), wanted, wanted + height - 1) >= 0) {
            // Labels stand above their points; going down would cover the
            // point. Each step moves past the taken row that blocks the
            // label, so no free place is stepped over.
            int top = wanted;
            for (;;) {
                const int blocking = bits::first(rows_.data(), top, top + height - 1);
                if (blocking < 0)
                    break;
                top = blocking - height;
                if (top < 0)
                    break;
            }
            if (top < 0) {
                top = wanted;
                for (;;) {
                    const int blocking = bits::last(rows_.data(), top, top + height - 1);
                    if (blocking < 0)
                        break;
                    top = blocking + 1;
                    if (top + height - 1 > last)
                        break;
                }
                clear = top + height - 1 <= last;
            }
            if (clear)
                where.moveTop(lo + top);
        }
    }
    placed_.push_back(where);
    anchors_.push_back(anchor);
    // With no room near, the label stays where it was wanted, over others.
    // Later labels need not keep clear of it: it is unreadable already, and
    // leaving it out keeps lookups short in the densest crowds.
    kept_.push_back(clear);
    if (clear) {
        mark(where, true);
        if (!grid_.contains(where))
            straying_.push_back(where);
    }
    return where.top() - extent.top();
}

void MarkPlacer::removeLast()
{
    if (placed_.isEmpty())
        return;
    anchors_.removeLast();
    const QRect extent = placed_.takeLast();
    const bool kept = kept_.back();
    kept_.pop_back();
    // Labels kept clear of never overlap, so its bits are its own. Labels go
    // into the straying list in order: the last one is at its back.
    if (kept) {
        mark(extent, false);
        if (!grid_.contains(extent))
            straying_.pop_back();
    }
    releaseSpareCapacity(placed_);
    releaseSpareCapacity(anchors_);
    releaseSpareCapacity(kept_);
    releaseSpareCapacity(straying_);
}

void MarkPlacer::clear()
{
    placed_.clear();
    anchors_.clear();
    kept_.clear();
    straying_.clear();
    std::fill(taken_.begin(), taken_.end(), 0);
}

void MarkPlacer::reserve(int labels)
{
    placed_.reserve(labels);
    anchors_.reserve(labels);
    kept_.reserve(static_cast<std::size_t>(labels));
}

} // namespace potencor::ui
