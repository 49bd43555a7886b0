#include "languages/FocusedTitleSource.h"

#include <mutex>
#include <utility>

namespace quillet {
namespace {

// Stands in until the application installs its source, so that detection without a
// desktop (scripts, tests) finds no title rather than crashing.
class UnavailableTitleSource final : public FocusedTitleSource {
public:
    std::optional<icu::UnicodeString> focusedElementTitle() override { return std::nullopt; }
    std::optional<icu::UnicodeString> focusedWindowTitle() override { return std::nullopt; }
};

std::mutex sharedMutex;

std::shared_ptr<FocusedTitleSource>& sharedSlot()
{
    static std::shared_ptr<FocusedTitleSource> slot = std::make_shared<UnavailableTitleSource>();
    return slot;
}

} // namespace

std::shared_ptr<FocusedTitleSource> FocusedTitleSource::shared()
{
    std::lock_guard lock(sharedMutex);
    return sharedSlot();
}

void FocusedTitleSource::setShared(std::shared_ptr<FocusedTitleSource> source)
{
    std::lock_guard lock(sharedMutex);
    sharedSlot() = source ? std::move(source) : std::make_shared<UnavailableTitleSource>();
}

} // namespace quillet
