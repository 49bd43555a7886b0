#include "text/ErrorTagBuilder.h"

#include "text/StringHelpers.h"
#include "text/UserErrorDescriptionType.h"

namespace quillet {

Tag ErrorTagBuilder::build(const UserErrorDescriptionType& error) const
{
    return Tag(TagName::div, icu::UnicodeString(u"error"), std::nullopt, {},
        {
            Tag(TagName::div, icu::UnicodeString(u"title"), std::nullopt, {},
                { escapeHTMLCharacters(error.userErrorTitle()) }),
            Tag(TagName::div, icu::UnicodeString(u"description"), std::nullopt, {},
                { escapeHTMLCharacters(error.userErrorDescription()) }),
        });
}

} // namespace quillet
