#pragma once

#include "text/UserErrorDescriptionType.h"

#include <unicode/unistr.h>

namespace quillet {

// ParsingError (an unknown type keyword, a kind declared without its parameters) is the
// shared one, in text/UserErrorDescriptionType.h.

/// A text that holds no declaration at all. Title "Variable parsing error", empty description.
class VariableParsingError : public ExpanderValidationError {
public:
    VariableParsingError();
};

/// A variable rule that failed. Title "Incorrect variable declaration"; the description is
/// the rule's plain English text.
class VariableValidationError : public BasicUserError, public ExpanderRelatedError {
public:
    explicit VariableValidationError(const icu::UnicodeString& description);
};

/// An expander variable whose embedded expander cannot be used.
/// Title "Expander variable parsing error"; the message is looked up whole.
class ExpanderVariableParsingError : public BasicUserError, public ExpanderRelatedError {
public:
    explicit ExpanderVariableParsingError(const icu::UnicodeString& message);
};

} // namespace quillet
