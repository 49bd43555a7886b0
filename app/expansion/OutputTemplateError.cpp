#include "expansion/OutputTemplateError.h"

#include "text/Localized.h"

namespace quillet {

OutputTemplateError::OutputTemplateError(icu::UnicodeString userErrorDescription)
    : BasicUserError(
        localized(u"Output template error", "Output template error title"), std::move(userErrorDescription))
{
}

} // namespace quillet
