#include "text/Localized.h"

namespace quillet {

icu::UnicodeString localized(const icu::UnicodeString& key, const char* /*comment*/)
{
    // Only English ships: every key is its own translation.
    return key;
}

icu::UnicodeString localizedFormat(
    const icu::UnicodeString& key, const char* comment, const icu::UnicodeString& argument)
{
    icu::UnicodeString text = localized(key, comment);
    const int32_t placeholder = text.indexOf(u"%@");
    if (placeholder >= 0)
        text.replace(placeholder, 2, argument);
    return text;
}

} // namespace quillet
