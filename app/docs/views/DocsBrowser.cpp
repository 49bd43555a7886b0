#include "docs/views/DocsBrowser.h"

#include <QDesktopServices>

namespace quillet {

void DesktopUrlOpener::openUrl(const QUrl& url)
{
    QDesktopServices::openUrl(url);
}

bool opensInDocsPane(const QUrl& url)
{
    return url.scheme() == QStringLiteral("file");
}

DocsBrowser::DocsBrowser(QWidget* parent)
    : QTextBrowser(parent)
    , m_urlOpener(std::make_shared<DesktopUrlOpener>())
{
    setObjectName(QStringLiteral("DocsWebView"));
    setAccessibleName(tr("Documentation"));
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setFrameShape(QFrame::NoFrame);
    connect(this, &QTextBrowser::anchorClicked, this, &DocsBrowser::followLink);
}

void DocsBrowser::showPage(const QString& html, const QUrl& baseUrl)
{
    document()->setBaseUrl(baseUrl);
    setHtml(html);
}

void DocsBrowser::followLink(const QUrl& link)
{
    // A link within the page itself only scrolls.
    if (link.isRelative() && link.path().isEmpty() && link.hasFragment()) {
        scrollToAnchor(link.fragment());
        return;
    }
    QUrl base = source().isValid() ? source() : document()->baseUrl();
    const QUrl target = base.isValid() ? base.resolved(link) : link;
    if (opensInDocsPane(target)) {
        setSource(target);
        return;
    }
    if (m_urlOpener && target.isValid())
        m_urlOpener->openUrl(target);
}

} // namespace quillet
