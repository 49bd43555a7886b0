#pragma once

#include <unicode/unistr.h>

#include <vector>

namespace quillet {

class UserErrorDescriptionType;

/// A modal alert as the core decides it: the bold message, the smaller informative text
/// and the button titles, left to right. The application shows it with its toolkit.
struct Alert {
    icu::UnicodeString messageText;
    icu::UnicodeString informativeText;
    std::vector<icu::UnicodeString> buttonTitles;

    /// The error's title and description with one "OK" button. An error that names an
    /// expander gets a last paragraph "Expander: <name>".
    static Alert fromError(const UserErrorDescriptionType& error);
    /// The given texts with one "OK" button.
    static Alert withTitle(const icu::UnicodeString& title, const icu::UnicodeString& message);

    bool operator==(const Alert&) const = default;
};

} // namespace quillet
