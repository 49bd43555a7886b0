#include "library/ProgrammingLanguageCatalogue.h"

#include <atomic>

namespace quillet {

namespace {

// Constant-initialized, so an installation during the start-up of another file finds it ready.
std::atomic<const ProgrammingLanguageCatalogue*> installedCatalogue { nullptr };

} // namespace

const ProgrammingLanguageCatalogue* ProgrammingLanguageCatalogue::installed() noexcept
{
    return installedCatalogue.load(std::memory_order_acquire);
}

void ProgrammingLanguageCatalogue::install(const ProgrammingLanguageCatalogue* catalogue) noexcept
{
    installedCatalogue.store(catalogue, std::memory_order_release);
}

} // namespace quillet
