#pragma once

#include "docs/views/UrlOpener.h"

#include <QTextBrowser>

#include <memory>

namespace quillet {

/// Whether a link of a documentation page opens inside the pane: exactly the links to files
/// (the scheme "file", compared as written). Everything else goes to the default browser.
bool opensInDocsPane(const QUrl& url);

/// The view of a documentation page. A clicked link to a file loads in the view; any other
/// link is handed to the URL opener and the view keeps its page.
///
/// The pages' style sheets follow the view's palette (PageStyle): as written on a light
/// palette, remade from the palette on a dark one. A change of the palette shows the page again.
class DocsBrowser final : public QTextBrowser {
    Q_OBJECT
public:
    explicit DocsBrowser(QWidget* parent = nullptr);

    /// Replaces the opener of outside links (the desktop's by default).
    void setUrlOpener(std::shared_ptr<UrlOpener> opener) { m_urlOpener = std::move(opener); }

    /// Shows a page; its relative links resolve against baseUrl (a folder ends with "/").
    void showPage(const QString& html, const QUrl& baseUrl);

    /// Follows a link as a click on it does; relative links resolve against the page's base.
    void followLink(const QUrl& link);

protected:
    QVariant loadResource(int type, const QUrl& name) override;
    void changeEvent(QEvent* event) override;

private:
    std::shared_ptr<UrlOpener> m_urlOpener;
    QString m_html;
    bool m_restyling = false;
};

} // namespace quillet
