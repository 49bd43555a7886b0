#include "text/PatternErrors.h"

#include "text/Localized.h"

namespace quillet {

PatternParsingError::PatternParsingError(const icu::UnicodeString& description)
    : ExpanderValidationError(localized(u"Pattern parsing error", "Pattern Parsing Error"), description)
{
}

PatternValidationError::PatternValidationError(const icu::UnicodeString& description)
    : BasicUserError(localized(u"Pattern is not correct", "Pattern validation error title"), description)
{
}

} // namespace quillet
