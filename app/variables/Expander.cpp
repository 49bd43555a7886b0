#include "variables/Expander.h"

#include <atomic>

namespace quillet {
namespace {

std::atomic<uint64_t>& revision()
{
    static std::atomic<uint64_t> count { 1 };
    return count;
}

} // namespace

uint64_t expanderRevision() noexcept
{
    return revision().load(std::memory_order_acquire);
}

void expandersDidChange() noexcept
{
    revision().fetch_add(1, std::memory_order_acq_rel);
}

} // namespace quillet
