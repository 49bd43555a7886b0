#include "docs/DocumentationErrors.h"

#include "text/Localized.h"
#include "text/UnicodeConversion.h"

namespace quillet {

DocumentationTemplateError::DocumentationTemplateError(const std::string& resourceName)
    : BasicUserError(localized(u"Documentation could not be shown", "Documentation template error title"),
        localizedFormat(u"The resource %@ is missing or cannot be read.", "Documentation template error description",
            fromUtf8(resourceName)))
{
}

} // namespace quillet
