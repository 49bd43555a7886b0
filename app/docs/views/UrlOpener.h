#pragma once

#include <QUrl>

namespace quillet {

/// Opens an address with the user's default handler (the browser for web pages).
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual void openUrl(const QUrl& url) = 0;
};

/// The desktop's handler, through QDesktopServices.
class DesktopUrlOpener final : public UrlOpener {
public:
    void openUrl(const QUrl& url) override;
};

} // namespace quillet
