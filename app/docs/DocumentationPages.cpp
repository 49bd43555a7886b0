#include "docs/DocumentationPages.h"

#include "docs/BundleDocsTemplate.h"
#include "docs/DocumentationErrors.h"
#include "docs/ExpanderDocsTemplate.h"
#include "expansion/ExpanderController.h"
#include "library/Bundle.h"
#include "library/BundleStore.h"
#include "library/ResourceLocator.h"

namespace quillet {

std::shared_ptr<const ExpanderController> copyOfEnabledExpanders(const BundleStore& store)
{
    std::vector<ExpanderPtr> copies;
    for (const auto& expander : store.enabledExpanders())
        copies.push_back(expander->copy());
    return std::make_shared<const ExpanderController>(std::move(copies));
}

ExpanderPageSource expanderPageSource(const CustomExpander& expander, const BundleStore& store)
{
    return ExpanderPageSource { .expander = expander.copy(), .library = copyOfEnabledExpanders(store) };
}

BundlePageSource bundlePageSource(const Bundle& bundle, const BundleStore& store)
{
    return BundlePageSource { .bundle = std::make_shared<const Bundle>(bundle.dictionary()),
        .library = copyOfEnabledExpanders(store) };
}

DocumentationPage expanderPage(const ExpanderPageSource& source, const ResourceLocator& resources)
{
    const ExpanderDocsTemplate page(resources);
    return DocumentationPage { .html = page.render(source.expander, source.library),
        .baseDirectory = documentationBaseDirectory(resources) };
}

DocumentationPage bundlePage(const BundlePageSource& source, const ResourceLocator& resources)
{
    const BundleDocsTemplate page(resources);
    return DocumentationPage { .html = page.render(*source.bundle, source.library),
        .baseDirectory = documentationBaseDirectory(resources) };
}

std::filesystem::path documentationBaseDirectory(const ResourceLocator& resources)
{
    const auto styleSheet = resources.pathForResource("docs", "css");
    if (!styleSheet)
        throw DocumentationTemplateError("docs.css");
    return styleSheet->parent_path();
}

} // namespace quillet
