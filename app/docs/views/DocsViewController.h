#pragma once

#include "docs/DocumentationPages.h"
#include "docs/views/DocsBrowser.h"
#include "library/BundleListElement.h"
#include "library/BundleStore.h"

#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QStackedLayout;
class QTimer;

namespace quillet {

class ExpanderController;

/// The documentation pane: the page of the bundle or expander selected in the bundle list.
///
/// A page is built off the GUI thread from copies taken on it (the element, and the
/// library's enabled expanders, copied once per change of the library), so the library may
/// change while a page is being built. Only the page of the latest request is shown: a page
/// that arrives after a newer request is dropped. While hidden, the pane builds nothing; it
/// builds the page afresh each time it is shown, so edits made meanwhile show. Links to files open in the pane, others
/// in the default browser (DocsBrowser).
class DocsViewController final : public QWidget, private BundleStoreDelegate {
    Q_OBJECT
public:
    /// Main thread: takes the copies for one page and returns the work that builds it on a
    /// worker thread from those copies alone.
    using PageBuild = std::function<DocumentationPage()>;
    using PageBuilder = std::function<PageBuild(
        const BundleListElement& element, const std::shared_ptr<const ExpanderController>& library)>;

    explicit DocsViewController(BundleStore& store, QWidget* parent = nullptr);
    ~DocsViewController() override;

    /// The documented element, or none (an empty page). Every call asks for the page anew,
    /// also for the same element.
    void setBundleListElement(const std::optional<BundleListElement>& element);
    std::optional<BundleListElement> bundleListElement() const { return m_element.lock(); }

    /// Replaces how pages are built (the documentation templates by default).
    void setPageBuilder(PageBuilder builder) { m_pageBuilder = std::move(builder); }

    DocsBrowser* browser() const noexcept { return m_browser; }
    /// True from a request until its page is shown. The loading label shows only when a page
    /// takes longer than a moment, so moving through the list does not flicker.
    bool isLoading() const noexcept { return m_loading; }

    /// The default builder: the expander's or the bundle's documentation page.
    static PageBuild documentationPageBuild(
        const BundleListElement& element, const std::shared_ptr<const ExpanderController>& library);

Q_SIGNALS:
    /// A page (possibly the empty one) was put into the view.
    void pageShown();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void requestPage();
    void showPage(std::uint64_t request, const QString& html, const QUrl& baseUrl);
    void setLoading(bool loading);
    std::shared_ptr<const ExpanderController> library();

    void bundleStoreDidChange(BundleStore& store) override;
    void bundleStoreDidImport(BundleStore& store, Bundle& bundle, bool silent) override;

    BundleStore& m_store;
    PageBuilder m_pageBuilder;
    WeakBundleListElement m_element;
    bool m_hasElement = false;
    bool m_loading = false;
    std::uint64_t m_request = 0;
    // The latest request, read by the workers so a page nobody waits for any more is not built.
    std::shared_ptr<std::atomic<std::uint64_t>> m_latestRequest = std::make_shared<std::atomic<std::uint64_t>>(0);
    std::shared_ptr<const ExpanderController> m_library;
    QStackedLayout* m_layout = nullptr;
    QTimer* m_loadingDelay = nullptr;
    QLabel* m_loadingLabel = nullptr;
    DocsBrowser* m_browser = nullptr;
};

} // namespace quillet
