#include "expansion/NoFilterError.h"

#include "text/Localized.h"

namespace quillet {
namespace {

icu::UnicodeString descriptionFor(const icu::UnicodeString& filterName)
{
    icu::UnicodeString description(u"\"");
    description.append(filterName).append(u"\" filter had not been found.");
    return description;
}

} // namespace

NoFilterError::NoFilterError(const icu::UnicodeString& filterName)
    : ExpanderValidationError(localized(u"No filter found", "No filter found error"), descriptionFor(filterName))
    , m_filterName(filterName)
{
}

} // namespace quillet
