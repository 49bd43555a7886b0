#include "docs/views/DocsBrowser.h"

#include "docs/views/PageStyle.h"

#include <QDesktopServices>
#include <QEvent>
#include <QScrollBar>
#include <QTextDocument>

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
    m_html = richTextPage(html);
    document()->setBaseUrl(baseUrl);
    setHtml(m_html);
}

QVariant DocsBrowser::loadResource(int type, const QUrl& name)
{
    QVariant resource = QTextBrowser::loadResource(type, name);
    if (type != QTextDocument::StyleSheetResource || !resource.isValid())
        return resource;
    const QString sheet
        = resource.typeId() == QMetaType::QByteArray ? QString::fromUtf8(resource.toByteArray()) : resource.toString();
    // The view's own palette: at a palette change the viewport learns of it only after the view.
    return PageStyle(palette()).styleSheet(sheet);
}

void DocsBrowser::changeEvent(QEvent* event)
{
    QTextBrowser::changeEvent(event);
    // The style sheet was made for the old palette: the page is laid out again with a new one,
    // where the reader was.
    if ((event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) && !m_restyling
        && !m_html.isEmpty() && !source().isValid()) {
        m_restyling = true;
        const int position = verticalScrollBar()->value();
        setHtml(m_html);
        verticalScrollBar()->setValue(position);
        m_restyling = false;
    }
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
