#pragma once

#include "docs/DocumentationTemplate.h"
#include "library/CustomExpander.h"

#include <memory>

namespace quillet {

class ExpanderController;

/// The documentation page of one expander, from the resource "expander-docs.html" with the
/// placeholders #{name}, #{identifier}, #{description}, #{syntax}, #{variables} and
/// #{languages}.
///
/// A pattern that does not parse still gives a page: syntax and variables each show the
/// error box. Build one per page; it reads only its arguments and may run on any thread
/// when library holds copies that no other thread changes.
class ExpanderDocsTemplate final : public DocumentationTemplate {
public:
    /// Throws DocumentationTemplateError when the resource is missing or unreadable.
    explicit ExpanderDocsTemplate(const ResourceLocator& resources = defaultResources());

    /// The whole page. library is what patterns embed and examples expand with (see
    /// MarkupFilterOptions::library); the description's examples are expanded by this
    /// expander alone.
    icu::UnicodeString render(
        const CustomExpanderPtr& expander, const std::shared_ptr<const ExpanderController>& library) const;

    /// The identifier block: empty for an expander without identifier, else div.expander-identifier
    /// with the identifier and the "exp(…)" declaration that embeds the expander.
    static icu::UnicodeString identifierHTML(const CustomExpander& expander);
};

} // namespace quillet
