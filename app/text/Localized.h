#pragma once

#include <unicode/unistr.h>

namespace quillet {

/// Looks a user-visible text up in the application's strings table.
///
/// English ships as the keys themselves, so a key without a table entry comes back
/// unchanged. A message that embeds a name is composed first and then looked up whole.
/// The comment tells a translator where the text appears; it never changes the result.
icu::UnicodeString localized(const icu::UnicodeString& key, const char* comment);

/// Looks key up and puts argument in place of its first "%@" (copied as it is: the
/// argument is never read as a format).
icu::UnicodeString localizedFormat(
    const icu::UnicodeString& key, const char* comment, const icu::UnicodeString& argument);

} // namespace quillet
