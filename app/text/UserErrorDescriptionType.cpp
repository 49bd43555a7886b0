#include "text/UserErrorDescriptionType.h"

#include "text/Localized.h"
#include "text/UnicodeConversion.h"

namespace quillet {

const char* UserErrorDescriptionType::what() const noexcept
{
    try {
        m_what = toUtf8(userErrorTitle()) + ": " + toUtf8(userErrorDescription());
    } catch (...) {
        return "user error";
    }
    return m_what.c_str();
}

CbError::CbError()
    : m_title(localized(u"Unknown error", "Standard, unknown error"))
{
}

CbError::CbError(icu::UnicodeString title, icu::UnicodeString description)
    : m_title(std::move(title))
    , m_description(std::move(description))
{
}

UnknownError::UnknownError()
    : BasicUserError(localized(u"Unknown error", "Unknown error title"),
        localized(u"An unknown error occured.", "Unknown error description"))
{
}

ParsingError::ParsingError(icu::UnicodeString description)
    : ExpanderValidationError(localized(u"Parsing error", "Parsing error title"), std::move(description))
{
}

ExpandingError::ExpandingError(icu::UnicodeString description)
    : BasicUserError(localized(u"Expression could not be expanded.", "Expanding Error"), std::move(description))
{
}

PlatformError::PlatformError(icu::UnicodeString description)
    : BasicUserError(localized(u"Error", "Standard description for an NSError instance"), std::move(description))
{
}

icu::UnicodeString localizedDescription(const std::exception& error)
{
    if (const auto* userError = dynamic_cast<const UserErrorDescriptionType*>(&error))
        return userError->userErrorDescription();
    return fromUtf8(error.what());
}

} // namespace quillet
