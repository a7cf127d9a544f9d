#pragma once
// Bit strings in 64-bit words: bit i is bit i % 64 of word i / 64. Ranges
// are inclusive, from <= to.
#include <QtGlobal>

#include <bit>

namespace potencor::ui::bits {

using Word = quint64;
inline constexpr int kWordBits = 64;

// Of the word holding `bit`, the bits from it up, and up to it.
inline Word maskFrom(int bit) { return ~Word{0} << (bit % kWordBits); }
inline Word maskTo(int bit) { return ~Word{0} >> (kWordBits - 1 - bit % kWordBits); }

inline void set(Word* s, int from, int to)
{
    const int first = from / kWordBits;
    const int last = to / kWordBits;
    if (first == last) {
        s[first] |= maskFrom(from) & maskTo(to);
        return;
    }
    s[first] |= maskFrom(from);
    for (int w = first + 1; w < last; ++w)
        s[w] = ~Word{0};
    s[last] |= maskTo(to);
}

inline void clear(Word* s, int from, int to)
{
    const int first = from / kWordBits;
    const int last = to / kWordBits;
    if (first == last) {
        s[first] &= ~(maskFrom(from) & maskTo(to));
        return;
    }
    s[first] &= ~maskFrom(from);
    for (int w = first + 1; w < last; ++w)
        s[w] = 0;
    s[last] &= ~maskTo(to);
}

// The first or last set bit in [from, to]; -1 when none is.
inline int first(const Word* s, int from, int to)
{
    const int last = to / kWordBits;
    for (int w = from / kWordBits; w <= last; ++w) {
        Word b = s[w];
        if (w == from / kWordBits)
            b &= maskFrom(from);
        if (w == last)
            b &= maskTo(to);
        if (b != 0)
            return w * kWordBits + std::countr_zero(b);
    }
    return -1;
}

inline int last(const Word* s, int from, int to)
{
    const int first = from / kWordBits;
    for (int w = to / kWordBits; w >= first; --w) {
        Word b = s[w];
        if (w == to / kWordBits)
            b &= maskTo(to);
        if (w == first)
            b &= maskFrom(from);
        if (b != 0)
            return w * kWordBits + kWordBits - 1 - std::countl_zero(b);
    }
    return -1;
}

} // namespace potencor::ui::bits
