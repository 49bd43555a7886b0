#include "front/HugePageHeap.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace quillet {
namespace {

// Volatile: the block is never used, and the compiler would otherwise leave out its allocation.
[[maybe_unused]] void* volatile belowBoundary = nullptr;

} // namespace

void preferHugePagesForTheHeap()
{
#if defined(__GLIBC__)
    constexpr std::uintptr_t hugePage = std::uintptr_t { 2 } << 20;
    // Address space only. A heap that outgrows it goes on in small pages: the kernel does not
    // extend the marked region when the break moves past it.
    constexpr int reserve = 512 << 20;
    // Blocks up to 32 MiB (a large library file's bytes among them) from the heap rather than
    // from mappings of their own, the heap grown by the whole reserve at once (below), and never
    // given back before exit.
    if (mallopt(M_MMAP_THRESHOLD, 32 << 20) == 0 || mallopt(M_TOP_PAD, reserve) == 0
        || mallopt(M_TRIM_THRESHOLD, 2 * reserve) == 0)
        return;
    // A block larger than the free space at the top of the heap grows it; freed at once, it
    // merges back into that space, which now starts where the block did. Growing wrote a
    // header just past the block: the 2 MiB range holding it has a small page already and
    // could take no huge one, so the marked part begins at the next boundary above it.
    void* grow = std::malloc(hugePage);
    // Later growth goes by the usual steps again: a system that refuses the reserve (strict
    // overcommit) must not be asked for it at every growth.
    mallopt(M_TOP_PAD, 128 << 10);
    if (!grow)
        return;
    const auto start = reinterpret_cast<std::uintptr_t>(grow);
    std::free(grow);
    const std::uintptr_t boundary = (start + hugePage + 64 + hugePage - 1) & ~(hugePage - 1);
    const auto end = reinterpret_cast<std::uintptr_t>(sbrk(0));
    if (end <= boundary + hugePage)
        return;
    if (madvise(reinterpret_cast<void*>(boundary), end - boundary, MADV_HUGEPAGE) != 0)
        return;
    // Taken from the start of the free space up to the boundary and never freed: its pages are
    // not touched, so it costs address space only, and every later block lies above it.
    if (boundary - start >= 64)
        belowBoundary = std::malloc(boundary - start - 32);
#endif
}

} // namespace quillet
