#pragma once

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QUrl>

namespace quillet::test {

/// Catches the addresses that the application hands to the desktop's browser or file
/// opener, for as long as it lives; nothing is opened.
class UrlRecorder final : public QObject {
    Q_OBJECT
public:
    UrlRecorder()
    {
        for (const char* scheme : { "http", "https", "file", "mailto" })
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "openUrl");
    }
    ~UrlRecorder() override
    {
        for (const char* scheme : { "http", "https", "file", "mailto" })
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }

    const QList<QUrl>& urls() const noexcept { return m_urls; }

public Q_SLOTS:
    void openUrl(const QUrl& url) { m_urls.append(url); }

private:
    QList<QUrl> m_urls;
};

} // namespace quillet::test
