#pragma once

// What the documentation pane and the expander browser call to show a bundle's or an
// expander's documentation.
//
// Threads: take the source on the main thread (it copies what the page reads from the
// library), then build the page on any thread, and load its HTML into the view against
// baseDirectory (the folder of "docs.css", which the page links relatively):
//
//     auto source = expanderPageSource(expander, App::shared().bundleStore()); // main thread
//     // worker thread:
//     DocumentationPage page = expanderPage(source);
//     // main thread: browser->document()->setBaseUrl(QUrl::fromLocalFile(dir + "/"));
//     //              browser->setHtml(page.html)
//
// The pages are written for a rich-text view's subset of HTML and CSS (no script). Text that
// stands outside block elements takes no margin from the style sheet, so the view sets the
// margin around the document (QTextDocument::setDocumentMargin, about 16 pixels).

#include "docs/DocumentationTemplate.h"
#include "library/CustomExpander.h"

#include <unicode/unistr.h>

#include <filesystem>
#include <memory>

namespace quillet {

class Bundle;
class BundleStore;
class ExpanderController;
class ResourceLocator;

/// Copies of an expander and of the library's enabled expanders, owned by the page build.
struct ExpanderPageSource {
    CustomExpanderPtr expander;
    std::shared_ptr<const ExpanderController> library;
};

/// A copy of a bundle and of the library's enabled expanders, owned by the page build.
struct BundlePageSource {
    std::shared_ptr<const Bundle> bundle;
    std::shared_ptr<const ExpanderController> library;
};

/// A finished page and the folder its relative links (the style sheet) resolve against.
struct DocumentationPage {
    icu::UnicodeString html;
    std::filesystem::path baseDirectory;
};

/// Main thread: a controller over copies of the store's enabled expanders, in library order.
std::shared_ptr<const ExpanderController> copyOfEnabledExpanders(const BundleStore& store);
/// Main thread: copies of the expander and of the store's enabled expanders.
ExpanderPageSource expanderPageSource(const CustomExpander& expander, const BundleStore& store);
/// Main thread: copies of the bundle and of the store's enabled expanders.
BundlePageSource bundlePageSource(const Bundle& bundle, const BundleStore& store);

/// Any thread. The page of the expander; examples are expanded live by the expander itself.
/// Throws DocumentationTemplateError when a resource is missing or unreadable.
DocumentationPage expanderPage(
    const ExpanderPageSource& source, const ResourceLocator& resources = DocumentationTemplate::defaultResources());
/// Any thread. The page of the bundle; examples go to the best matching enabled expander.
/// Throws DocumentationTemplateError when a resource is missing or unreadable.
DocumentationPage bundlePage(
    const BundlePageSource& source, const ResourceLocator& resources = DocumentationTemplate::defaultResources());

/// The folder that holds "docs.css". Throws DocumentationTemplateError when it is missing.
std::filesystem::path documentationBaseDirectory(
    const ResourceLocator& resources = DocumentationTemplate::defaultResources());

} // namespace quillet
