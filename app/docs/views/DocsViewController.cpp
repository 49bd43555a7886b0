#include "docs/views/DocsViewController.h"

#include "OrvTextView/Misc/ReadableText.h"
#include "docs/DocumentationErrors.h"
#include "docs/views/QtText.h"
#include "expansion/ExpanderController.h"
#include "text/UnicodeConversion.h"
#include "text/UserErrorDescriptionType.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPointer>
#include <QStackedLayout>
#include <QThreadPool>
#include <QTimer>

namespace quillet {

namespace {

QUrl folderUrl(const std::filesystem::path& folder)
{
    if (folder.empty())
        return {};
    QString path = QString::fromStdString(folder.string());
    if (!path.endsWith(QLatin1Char('/')))
        path.append(QLatin1Char('/'));
    return QUrl::fromLocalFile(path);
}

} // namespace

DocsViewController::DocsViewController(BundleStore& store, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_pageBuilder(&DocsViewController::documentationPageBuild)
{
    setObjectName(QStringLiteral("DocsViewController"));
    setAccessibleName(tr("Documentation pane"));
    m_layout = new QStackedLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_loadingLabel = new QLabel(tr("Loading\u2026"), this);
    m_loadingLabel->setObjectName(QStringLiteral("loadingLabel"));
    m_loadingLabel->setAlignment(Qt::AlignCenter);
    orv::makeHint(m_loadingLabel);
    m_browser = new DocsBrowser(this);
    m_layout->addWidget(m_browser);
    m_layout->addWidget(m_loadingLabel);
    m_layout->setCurrentWidget(m_browser);
    m_loadingDelay = new QTimer(this);
    m_loadingDelay->setSingleShot(true);
    m_loadingDelay->setInterval(150);
    connect(m_loadingDelay, &QTimer::timeout, this, [this] {
        if (m_loading)
            m_layout->setCurrentWidget(m_loadingLabel);
    });
    m_store.addDelegate(this);
}

DocsViewController::~DocsViewController()
{
    m_store.removeDelegate(this);
}

DocsViewController::PageBuild DocsViewController::documentationPageBuild(
    const BundleListElement& element, const std::shared_ptr<const ExpanderController>& library)
{
    if (auto bundle = element.bundle()) {
        BundlePageSource source { .bundle = std::make_shared<const Bundle>(bundle->dictionary()), .library = library };
        return [source] { return bundlePage(source); };
    }
    ExpanderPageSource source { .expander = element.expander()->copy(), .library = library };
    return [source] { return expanderPage(source); };
}

void DocsViewController::setBundleListElement(const std::optional<BundleListElement>& element)
{
    m_hasElement = element.has_value();
    m_element = element ? WeakBundleListElement(*element) : WeakBundleListElement();
    // A hidden pane builds nothing now; it asks for the page when it is shown.
    if (isVisible())
        requestPage();
}

void DocsViewController::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The element may have been edited while the pane was hidden (the editor shows instead
    // of it): every appearance renders the page anew.
    requestPage();
}

std::shared_ptr<const ExpanderController> DocsViewController::library()
{
    if (!m_library)
        m_library = copyOfEnabledExpanders(m_store);
    return m_library;
}

void DocsViewController::requestPage()
{
    const std::uint64_t request = ++m_request;
    m_latestRequest->store(request);
    const auto element = m_element.lock();
    if (!element) {
        showPage(request, {}, {});
        return;
    }
    setLoading(true);
    PageBuild build;
    try {
        build = m_pageBuilder(*element, library());
    } catch (const std::exception& error) {
        const QString message = qtString(localizedDescription(error)).toHtmlEscaped();
        showPage(request, QStringLiteral("<p class=\"error\">%1</p>").arg(message), {});
        return;
    }
    QPointer<DocsViewController> pane(this);
    QThreadPool::globalInstance()->start([pane, request, latest = m_latestRequest, build = std::move(build)] {
        if (latest->load() != request)
            return; // overtaken before it started
        QString html;
        QUrl baseUrl;
        try {
            DocumentationPage page = build();
            html = qtString(page.html);
            baseUrl = folderUrl(page.baseDirectory);
        } catch (const std::exception& error) {
            html = QStringLiteral("<p class=\"error\">%1</p>")
                       .arg(qtString(localizedDescription(error)).toHtmlEscaped());
        }
        // Back on the GUI thread, where the pane may be gone or have moved on.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [pane, request, html = std::move(html), baseUrl = std::move(baseUrl)] {
                if (pane)
                    pane->showPage(request, html, baseUrl);
            },
            Qt::QueuedConnection);
    });
}

void DocsViewController::showPage(std::uint64_t request, const QString& html, const QUrl& baseUrl)
{
    if (request != m_request)
        return; // a newer request is on its way
    m_browser->showPage(html, baseUrl);
    setLoading(false);
    Q_EMIT pageShown();
}

void DocsViewController::setLoading(bool loading)
{
    m_loading = loading;
    if (loading) {
        m_loadingDelay->start();
        return;
    }
    m_loadingDelay->stop();
    m_layout->setCurrentWidget(m_browser);
}

void DocsViewController::bundleStoreDidChange(BundleStore& /*store*/)
{
    m_library.reset();
}

void DocsViewController::bundleStoreDidImport(BundleStore& /*store*/, Bundle& /*bundle*/, bool /*silent*/)
{
}

} // namespace quillet
