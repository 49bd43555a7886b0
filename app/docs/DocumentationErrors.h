#pragma once

#include "text/UserErrorDescriptionType.h"

#include <string>

namespace quillet {

/// A page template (or the style sheet) is missing from the resources or cannot be read.
/// No page is built; the documentation pane shows this error instead.
class DocumentationTemplateError final : public BasicUserError {
public:
    /// resourceName as "expander-docs.html".
    explicit DocumentationTemplateError(const std::string& resourceName);
};

} // namespace quillet
