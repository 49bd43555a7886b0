#include "library/Alert.h"

#include "text/Localized.h"
#include "text/UserErrorDescriptionType.h"
#include "variables/Expander.h"

namespace quillet {

Alert Alert::fromError(const UserErrorDescriptionType& error)
{
    Alert alert;
    alert.messageText = error.userErrorTitle();
    alert.informativeText = error.userErrorDescription();
    if (const auto* related = dynamic_cast<const ExpanderRelatedError*>(&error); related && related->expander())
        alert.informativeText.append(u"\n\nExpander: ").append(related->expander()->name());
    alert.buttonTitles.push_back(localized(u"OK", "Error alert OK button title"));
    return alert;
}

Alert Alert::withTitle(const icu::UnicodeString& title, const icu::UnicodeString& message)
{
    Alert alert;
    alert.messageText = title;
    alert.informativeText = message;
    alert.buttonTitles.push_back(localized(u"OK", "General alert OK button title"));
    return alert;
}

} // namespace quillet
