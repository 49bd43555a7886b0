#pragma once

#include "variables/Expander.h"

#include <unicode/unistr.h>

#include <memory>

namespace quillet {

class ExpanderController;

/// What the markup of one description is rendered for.
struct MarkupFilterOptions {
    /// The expander whose description is rendered (its examples are expanded by it alone);
    /// none for a bundle's description (examples go to the best matching expander).
    ExpanderPtr expander;
    /// The expanders that examples are expanded with and that patterns may embed. Pages built
    /// off the main thread pass a controller over copies taken on the main thread; with none,
    /// the enabled expanders of the open library are read through App (main thread only).
    std::shared_ptr<const ExpanderController> library;
};

/// One rewrite of the documentation markup. Filters keep no state and never fail.
class MarkupFilter {
public:
    virtual ~MarkupFilter() = default;
    virtual icu::UnicodeString filter(const icu::UnicodeString& text, const MarkupFilterOptions& options) const = 0;
};

} // namespace quillet
