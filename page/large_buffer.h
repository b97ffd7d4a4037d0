// Sizing of the page's large buffers (the page, its UTF-16 units, its UTF-8
// bytes). A buffer of tens of MiB is fresh memory, and first touching it one
// 4 KiB page at a time can cost more than converting into it; where the system
// offers huge pages we ask for them before the first touch.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace dorvane {

// Advises the system to back the size bytes at data with huge pages; only
// whole 2 MiB blocks inside the range are touched by the advice, and buffers
// under 8 MiB are left alone.
inline void AdviseHugePages([[maybe_unused]] void* data, [[maybe_unused]] std::size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
    if (size < 4 * kHuge) return;
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t last = (start + size) & ~(kHuge - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
}

// Room for size elements in buffer (a std::string or std::vector), advised as
// above, before anything is written to it.
template <class Buffer>
void ReserveLarge(Buffer& buffer, std::size_t size) {
    buffer.reserve(size);
    AdviseHugePages(buffer.data(), buffer.capacity() * sizeof(*buffer.data()));
}

}  // namespace dorvane
