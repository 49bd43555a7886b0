#include "front/HugePageHeap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace quillet {
namespace {

/// The address ranges of this process marked for transparent huge pages ("hg" among their
/// flags in /proc/self/smaps).
std::vector<std::pair<std::uintptr_t, std::uintptr_t>> rangesMarkedForHugePages()
{
    std::vector<std::pair<std::uintptr_t, std::uintptr_t>> marked;
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    std::pair<std::uintptr_t, std::uintptr_t> range;
    while (std::getline(smaps, line)) {
        std::uintptr_t start = 0;
        std::uintptr_t end = 0;
        char dash = 0;
        std::istringstream header(line);
        if (header >> std::hex >> start >> dash >> end && dash == '-') {
            range = { start, end };
            continue;
        }
        if (line.starts_with("VmFlags:") && (line + " ").find(" hg ") != std::string::npos)
            marked.push_back(range);
    }
    return marked;
}

/// Makes some 64 MiB in blocks of the sizes a library's load makes, up to a large library
/// file's bytes, after preferring huge pages or not; whether they lie in memory marked for huge
/// pages (99% of the bytes: a block may still come from what the process freed before, below
/// the marked part) when preferred, and none of them otherwise.
bool blocksLieInMemoryMarkedForHugePages(bool preferred)
{
    if (preferred)
        preferHugePagesForTheHeap();
    std::vector<std::pair<std::uintptr_t, std::size_t>> blocks;
    blocks.reserve(1 << 16);
    for (const std::size_t size :
        { std::size_t { 48 }, std::size_t { 1 } << 10, std::size_t { 64 } << 10, std::size_t { 24 } << 20 }) {
        for (std::size_t total = 0; total < (std::size_t { 16 } << 20); total += size) {
            void* block = std::malloc(size);
            std::memset(block, 1, size < 4096 ? size : 4096);
            blocks.emplace_back(reinterpret_cast<std::uintptr_t>(block), size);
        }
    }
    const auto marked = rangesMarkedForHugePages();
    std::size_t all = 0;
    std::size_t inMarked = 0;
    for (const auto& [address, size] : blocks) {
        all += size;
        for (const auto& [start, end] : marked) {
            if (start <= address && address + size <= end) {
                inMarked += size;
                break;
            }
        }
    }
    return preferred ? inMarked >= all / 100 * 99 : inMarked == 0;
}

// The command line's heap is grown once and marked for huge pages, so that the blocks of a
// large library come from them. It relies on how glibc lays out its heap: when that changes,
// the blocks land outside the marked part, and this fails.
TEST(HugePageHeap, BlocksMadeAfterwardsLieInMemoryMarkedForHugePages)
{
#if defined(__SANITIZE_ADDRESS__) || !defined(__GLIBC__)
    GTEST_SKIP() << "the heap is glibc's only without the address sanitizer";
#endif
    if (!std::filesystem::exists("/sys/kernel/mm/transparent_hugepage/enabled"))
        GTEST_SKIP() << "the kernel has no transparent huge pages";
    struct Case {
        const char* name;
        bool preferred;
    };
    for (const Case& testCase : { Case { "as the command line starts", true }, Case { "a heap left alone", false } }) {
        SCOPED_TRACE(testCase.name);
        // In a process of its own: the heap is changed for good.
        EXPECT_EXIT(
            std::exit(blocksLieInMemoryMarkedForHugePages(testCase.preferred) ? 0 : 1), testing::ExitedWithCode(0), "");
    }
}

} // namespace
} // namespace quillet
