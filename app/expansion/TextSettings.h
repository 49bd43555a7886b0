#pragma once

#include <unicode/unistr.h>

namespace quillet {

/// Indentation and line-length settings, read from the application settings on every call
/// so that a change in the preferences applies to the next expansion.
///
/// Keys that are unset and have no registered default read as false and 0; the application
/// registers true, 4 and 80 at start-up.
struct TextSettings {
    static constexpr const char* indentWithSpacesKey = "IndentWithSpaces";
    static constexpr const char* indentSizeKey = "IndentSize";
    static constexpr const char* maximumCharactersInLineKey = "MaximumCharactersInLine";

    /// The indentation unit: IndentSize spaces (none when 0 or less) when indenting with
    /// spaces, otherwise one tab.
    static icu::UnicodeString indentString();
    /// True when "IndentWithSpaces" is false.
    static bool indentsWithTabs();
    static long long indentSize();
    static long long maximumCharactersInLine();
};

} // namespace quillet
