#include "expansion/Graphemes.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>

#include <memory>
#include <stdexcept>

namespace quillet {
namespace {

/// A character break iterator per thread: creating one loads break rules, which costs far more
/// than a caret computation.
icu::BreakIterator& characterIterator()
{
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> created(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status) || !created)
            throw std::runtime_error("character break rules are unavailable");
        return created;
    }();
    return *iterator;
}

} // namespace

int64_t graphemeCount(const icu::UnicodeString& text)
{
    if (text.isEmpty())
        return 0;
    auto& iterator = characterIterator();
    iterator.setText(text);
    int64_t count = 0;
    for (int32_t position = iterator.next(); position != icu::BreakIterator::DONE; position = iterator.next())
        ++count;
    return count;
}

int32_t codeUnitOffsetOfGrapheme(const icu::UnicodeString& text, int64_t characterIndex)
{
    if (characterIndex <= 0 || text.isEmpty())
        return 0;
    auto& iterator = characterIterator();
    iterator.setText(text);
    int32_t position = 0;
    for (int64_t i = 0; i < characterIndex; ++i) {
        const int32_t next = iterator.next();
        if (next == icu::BreakIterator::DONE)
            return text.length();
        position = next;
    }
    return position;
}

int32_t firstGraphemeLength(const icu::UnicodeString& text)
{
    return codeUnitOffsetOfGrapheme(text, 1);
}

} // namespace quillet
