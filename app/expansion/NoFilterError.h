#pragma once

#include "text/UserErrorDescriptionType.h"

#include <unicode/unistr.h>

namespace quillet {

/// A placeholder names a filter keyword that no filter has.
class NoFilterError : public ExpanderValidationError {
public:
    explicit NoFilterError(const icu::UnicodeString& filterName);

    const icu::UnicodeString& filterName() const noexcept { return m_filterName; }

private:
    icu::UnicodeString m_filterName;
};

} // namespace quillet
