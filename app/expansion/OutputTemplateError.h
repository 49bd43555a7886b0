#pragma once

#include "text/UserErrorDescriptionType.h"

#include <unicode/unistr.h>

namespace quillet {

/// An output template that cannot be used, titled "Output template error".
class OutputTemplateError final : public BasicUserError, public ExpanderRelatedError {
public:
    explicit OutputTemplateError(icu::UnicodeString userErrorDescription);
};

} // namespace quillet
