#include "library/NoEditorError.h"

#include "library/Websites.h"
#include "text/Localized.h"

namespace quillet {

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

} // namespace quillet
