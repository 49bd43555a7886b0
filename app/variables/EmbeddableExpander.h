#pragma once

#include <unicode/unistr.h>

namespace quillet {

/// An expander whose pattern other patterns can embed through an expander variable
/// ("${name:exp(identifier)}"). The library's expander record implements it beside Expander;
/// an expander that does not is never a candidate for embedding.
class EmbeddableExpander {
public:
    virtual ~EmbeddableExpander() = default;
    /// The one-line pattern as the user wrote it.
    virtual icu::UnicodeString pattern() const = 0;
};

} // namespace quillet
