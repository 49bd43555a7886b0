#pragma once

#include "text/UserErrorDescriptionType.h"

#include <unicode/unistr.h>

namespace quillet {

/// A pattern that cannot be parsed: more than one line, or recursive embedding.
/// Title "Pattern parsing error".
class PatternParsingError : public ExpanderValidationError {
public:
    explicit PatternParsingError(const icu::UnicodeString& description);
};

/// A pattern that breaks a naming rule (a name declared twice). Title "Pattern is not correct".
class PatternValidationError : public BasicUserError, public ExpanderRelatedError {
public:
    explicit PatternValidationError(const icu::UnicodeString& description);
};

} // namespace quillet
