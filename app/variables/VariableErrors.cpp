#include "variables/VariableErrors.h"

#include "text/Localized.h"

namespace quillet {

VariableParsingError::VariableParsingError()
    : ExpanderValidationError(localized(u"Variable parsing error", "Variable Parsing Error"), icu::UnicodeString())
{
}

VariableValidationError::VariableValidationError(const icu::UnicodeString& description)
    : BasicUserError(localized(u"Incorrect variable declaration", "Pattern validation error title"), description)
{
}

ExpanderVariableParsingError::ExpanderVariableParsingError(const icu::UnicodeString& message)
    : BasicUserError(
        localized(u"Expander variable parsing error", "Expander variable Parsing Error"), localized(message, ""))
{
}

} // namespace quillet
