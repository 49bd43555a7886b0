#pragma once

#include <unicode/unistr.h>

#include <optional>

namespace quillet {

/// Something that documents itself in the reference: variable kinds and filters.
class DocumentationDescription {
public:
    virtual ~DocumentationDescription() = default;

    /// The one-line description of the conforming kind.
    virtual icu::UnicodeString documentationDescription() const = 0;
    /// A syntax hint; none by default.
    virtual std::optional<icu::UnicodeString> documentationSyntax() const { return std::nullopt; }
};

} // namespace quillet
