#pragma once
// Long sessions grow containers to hundreds of thousands of elements; undoing
// them must give the memory back. Spare capacity is released once a container
// is down to a quarter of it, so that appends and removals around one size
// never reallocate back and forth, and the cost stays constant per element.
#include <cstddef>

namespace potencor {

template <class Container>
void releaseSpareCapacity(Container& c)
{
    constexpr std::size_t kKeptElements = 1024; // small containers keep theirs
    const auto capacity = static_cast<std::size_t>(c.capacity());
    if (capacity > kKeptElements && static_cast<std::size_t>(c.size()) < capacity / 4)
        c.shrink_to_fit();
}

} // namespace potencor
