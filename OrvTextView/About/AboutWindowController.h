#pragma once

#include "OrvTextView/OrvTextViewExport.h"

#include <QColor>
#include <QIcon>
#include <QLabel>
#include <QObject>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace orv {

/// What the About window shows of the application.
struct ORVTEXTVIEW_EXPORT AboutInfo {
    QString name;
    QString copyright;
    QString version;
    QString build;
    QIcon icon;
    /// The acknowledgements document; no document hides its button.
    std::optional<QString> acknowledgementsPath;

    /// The running application's: its display name, version and window icon, and the
    /// application properties "copyright", "buildVersion" and "acknowledgementsPath".
    static AboutInfo fromApplication();
};

/// The ready About window: the application's icon, name, copyright and version line, links
/// to the makers' web site and Twitter account, a button to the makers' products page and
/// one that opens the acknowledgements document (hidden when there is none). The window
/// stays above the application's other windows.
class ORVTEXTVIEW_EXPORT AboutWindowController final : public QObject {
    Q_OBJECT
public:
    /// A controller with its window built and filled.
    static std::unique_ptr<AboutWindowController> createWithWindow(
        const AboutInfo& info = AboutInfo::fromApplication());
    ~AboutWindowController() override;

    /// The makers' web site, its host name, Twitter handle and profile, and products page.
    static QUrl websiteUrl();
    static QString websiteHost();
    static QString twitterHandle();
    static QUrl twitterUrl();
    static QUrl productsUrl();

    QWidget* window() const { return m_window; }
    /// Takes the window (not its ownership) and keeps it above normal windows.
    void setWindow(QWidget* window);

    QLabel* urlLabel() const { return m_urlLabel; }
    QLabel* twitterLabel() const { return m_twitterLabel; }
    QLabel* copyrightsLabel() const { return m_copyrightsLabel; }
    QLabel* iconImageView() const { return m_iconImageView; }
    QLabel* appNameLabel() const { return m_appNameLabel; }
    QLabel* versionLabel() const { return m_versionLabel; }
    QPushButton* acknowledgementsButton() const { return m_acknowledgementsButton; }

    std::optional<QString> acknowledgementsPath() const;

    /// Opens the makers' products page.
    void moreApps();
    /// Opens the acknowledgements document, when there is one.
    void showAcknowledgments();

    /// Opens addresses and files (the links' too); the desktop's handler unless replaced.
    void setUrlOpener(std::function<void(const QUrl&)> opener) { m_openUrl = std::move(opener); }

    /// Rich text of `text` in which the first occurrence of `highlightingString` is a link
    /// to `url` in the link colour; the rest keeps the label's look.
    static QString createURLString(const QString& text, const QString& highlightingString, const QUrl& url);
    /// The same with the link in `color`.
    static QString createURLString(
        const QString& text, const QString& highlightingString, const QUrl& url, const QColor& color);
    /// The link colour (red 0.05, green 0.4, blue 0.65) where it reads at 4.5:1 on the
    /// palette's window; on a window too dark for it, a lighter blue that does.
    static QColor linkColor(const QPalette& palette);

private:
    explicit AboutWindowController(AboutInfo info);
    void buildWindow();
    void configure();
    void configureWindow();
    void configureTwitterLink();
    void configureOrvantaLink();

    AboutInfo m_info;
    QPointer<QWidget> m_window;
    std::unique_ptr<QWidget> m_ownedWindow;
    QPointer<QLabel> m_urlLabel;
    QPointer<QLabel> m_twitterLabel;
    QPointer<QLabel> m_copyrightsLabel;
    QPointer<QLabel> m_iconImageView;
    QPointer<QLabel> m_appNameLabel;
    QPointer<QLabel> m_versionLabel;
    QPointer<QPushButton> m_acknowledgementsButton;
    std::function<void(const QUrl&)> m_openUrl;
};

} // namespace orv
