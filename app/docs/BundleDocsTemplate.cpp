#include "docs/BundleDocsTemplate.h"

#include "docs/MarkupHTMLGenerator.h"
#include "library/Bundle.h"
#include "text/StringHelpers.h"

namespace quillet {

BundleDocsTemplate::BundleDocsTemplate(const ResourceLocator& resources)
    : DocumentationTemplate(resources, "bundle-docs")
{
}

icu::UnicodeString BundleDocsTemplate::render(
    const Bundle& bundle, const std::shared_ptr<const ExpanderController>& library) const
{
    TemplateCompiler::Values values;
    values[u"name"] = escapeHTMLText(bundle.name());
    values[u"description"] = MarkupHTMLGenerator().generate(
        bundle.bundleDescription(), MarkupFilterOptions { .expander = nullptr, .library = library });
    return compiler().compile(values);
}

} // namespace quillet
