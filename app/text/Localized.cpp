#include "text/Localized.h"

namespace quillet {

icu::UnicodeString localized(const icu::UnicodeString& key, const char* /*comment*/)
{
    // Only English ships: every key is its own translation.
    return key;
}

} // namespace quillet
