#include "library/UserErrorDescriptionType.h"

#include "library/Websites.h"
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

namespace {

icu::UnicodeString noEditorDescription(const std::optional<icu::UnicodeString>& editorName)
{
    if (!editorName) {
        return localized(
            u"If you are, you probabily need a plugin. Click here for more information.", "Expanding Error");
    }
    // The name goes into the translated sentence, so translators can place it.
    icu::UnicodeString format
        = localized(u"To use Quillet in %@, you need to install a plugin. Click here for more information.",
            "Expanding Error in Atom");
    icu::UnicodeString result;
    const icu::UnicodeString placeholder(u"%@");
    int32_t start = 0;
    for (int32_t found = format.indexOf(placeholder); found >= 0; found = format.indexOf(placeholder, start)) {
        result.append(format, start, found - start).append(*editorName);
        start = found + placeholder.length();
    }
    result.append(format, start, format.length() - start);
    return result;
}

} // namespace

NoEditorError::NoEditorError(const std::optional<icu::UnicodeString>& editorName)
    : BasicUserError(editorName ? localized(u"You need a plugin", "Expanding Error")
                                : localized(u"Are you using a text editor?", "Expanding Error"),
        noEditorDescription(editorName))
{
}

std::string NoEditorError::url() const
{
    return Websites::editors();
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
