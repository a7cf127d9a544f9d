#include "chart/cover.h"

#include "chart/bits.h"

#include <algorithm>
#include <array>

namespace potencor::ui {
namespace {

using bits::kWordBits;
using bits::Word;

// The words of a row that columns [from, to] take, and the range's bits in each.
struct Columns {
    Columns(int from, int to)
        : first(from / kWordBits)
        , count(to / kWordBits - from / kWordBits + 1)
        , firstMask(bits::maskFrom(from))
        , lastMask(bits::maskTo(to))
    {
        if (count == 1)
            firstMask = lastMask = firstMask & lastMask;
    }
    Word mask(int k) const { return k == 0 ? firstMask : k == count - 1 ? lastMask : ~Word{0}; }
    int first;
    int count;
    Word firstMask;
    Word lastMask;
};

// QRect's &, without a call into Qt Core for each of thousands of labels.
QRect intersected(const QRect& r, const QRect& area)
{
    if (r.isEmpty())
        return {};
    return QRect(QPoint(std::max(r.left(), area.left()), std::max(r.top(), area.top())),
                 QPoint(std::min(r.right(), area.right()), std::min(r.bottom(), area.bottom())));
}

} // namespace

OpaqueCover::OpaqueCover(const QRect& area)
    : area_(area), wordsPerRow_(area.isEmpty() ? 0 : (area.width() + kWordBits - 1) / kWordBits)
{
}

bool OpaqueCover::covers(const QRect& r) const
{
    const QRect inside = intersected(r, area_);
    if (inside.isEmpty())
        return true;
    if (bits_.empty())
        return false;
    const Columns columns(inside.left() - area_.left(), inside.right() - area_.left());
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        const Word* words = row(y) + columns.first;
        for (int k = 0; k < columns.count; ++k) {
            if ((~words[k] & columns.mask(k)) != 0)
                return false;
        }
    }
    return true;
}

QRect OpaqueCover::uncovered(const QRect& r, const QRect& inner, int& innerLeft, int& innerRight) const
{
    innerLeft = 0;
    innerRight = -1;
    const QRect inside = intersected(r, area_);
    if (inside.isEmpty())
        return {};
    if (bits_.empty()) {
        const QRect innerInside = intersected(inner, inside);
        if (!innerInside.isEmpty()) {
            innerLeft = innerInside.left();
            innerRight = innerInside.right();
        }
        return inside;
    }
    const Columns columns(inside.left() - area_.left(), inside.right() - area_.left());
    const QRect innerInside = intersected(inner, inside);
    // The clear bits of the rows together, and of the inner rows; sprites
    // are a few words wide.
    std::array<Word, 8> fixed{};
    std::vector<Word> many;
    Word* clear = fixed.data();
    if (2 * columns.count > static_cast<int>(fixed.size())) {
        many.assign(2 * static_cast<std::size_t>(columns.count), 0);
        clear = many.data();
    }
    Word* innerClear = clear + columns.count;
    bool any = false;
    int top = 0;
    int bottom = 0;
    const auto scan = [&](int from, int to, bool innerRows) {
        const Word* words = row(from) + columns.first;
        for (int y = from; y <= to; ++y, words += wordsPerRow_) {
            Word rowClear = 0;
            if (columns.count == 1) {
                rowClear = ~words[0] & columns.firstMask;
                clear[0] |= rowClear;
                if (innerRows)
                    innerClear[0] |= rowClear;
            } else {
                for (int k = 0; k < columns.count; ++k) {
                    const Word c = ~words[k] & columns.mask(k);
                    clear[k] |= c;
                    if (innerRows)
                        innerClear[k] |= c;
                    rowClear |= c;
                }
            }
            if (rowClear != 0) {
                if (!any)
                    top = y;
                any = true;
                bottom = y;
            }
        }
    };
    if (innerInside.isEmpty()) {
        scan(inside.top(), inside.bottom(), false);
    } else {
        scan(inside.top(), innerInside.top() - 1, false);
        scan(innerInside.top(), innerInside.bottom(), true);
        scan(innerInside.bottom() + 1, inside.bottom(), false);
    }
    if (!any)
        return {};
    const int x0 = area_.left() + columns.first * kWordBits;
    const int last = columns.count * kWordBits - 1;
    if (!innerInside.isEmpty()) {
        const int from = innerInside.left() - x0;
        const int to = innerInside.right() - x0;
        const int left = bits::first(innerClear, from, to);
        if (left >= 0) {
            innerLeft = x0 + left;
            innerRight = x0 + bits::last(innerClear, from, to);
        }
    }
    return QRect(QPoint(x0 + bits::first(clear, 0, last), top), QPoint(x0 + bits::last(clear, 0, last), bottom));
}

void OpaqueCover::add(QPoint origin, const std::vector<std::pair<int, int>>& rows)
{
    if (bits_.empty() && !area_.isEmpty())
        bits_.assign(static_cast<std::size_t>(wordsPerRow_) * area_.height(), 0);
    const int firstRow = std::max(origin.y(), area_.top());
    const int lastRow = std::min(origin.y() + static_cast<int>(rows.size()) - 1, area_.bottom());
    for (int y = firstRow; y <= lastRow; ++y) {
        const auto& [first, last] = rows[static_cast<std::size_t>(y - origin.y())];
        const int from = std::max(origin.x() + first, area_.left()) - area_.left();
        const int to = std::min(origin.x() + last, area_.right()) - area_.left();
        if (from <= to)
            bits::set(&bits_[static_cast<std::size_t>(y - area_.top()) * wordsPerRow_], from, to);
    }
}

} // namespace potencor::ui
