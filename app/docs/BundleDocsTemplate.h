#pragma once

#include "docs/DocumentationTemplate.h"

#include <memory>

namespace quillet {

class Bundle;
class ExpanderController;

/// The documentation page of one bundle, from the resource "bundle-docs.html" with the
/// placeholders #{name} and #{description}. The description's examples are expanded by the
/// best matching expander of library. Build one per page; see ExpanderDocsTemplate for threads.
class BundleDocsTemplate final : public DocumentationTemplate {
public:
    /// Throws DocumentationTemplateError when the resource is missing or unreadable.
    explicit BundleDocsTemplate(const ResourceLocator& resources = defaultResources());

    icu::UnicodeString render(const Bundle& bundle, const std::shared_ptr<const ExpanderController>& library) const;
};

} // namespace quillet
