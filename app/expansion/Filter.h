#pragma once

#include "variables/DocumentationDescription.h"

#include <unicode/unistr.h>

namespace quillet {

/// An output filter: a named transformation that a placeholder applies to a value when it is
/// written ${name.keyword}. Filters hold no state; the registry owns one shared instance of each.
class Filter : public DocumentationDescription {
public:
    ~Filter() override = default;

    /// The display name shown in lists and documentation ("Snake case").
    virtual icu::UnicodeString name() const = 0;
    /// The keyword written after a "." in templates ("snakecase").
    virtual icu::UnicodeString id() const = 0;
    /// The transformed text. May throw; the filters of the registry never do.
    virtual icu::UnicodeString apply(const icu::UnicodeString& text) const = 0;
};

} // namespace quillet
