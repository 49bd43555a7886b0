#pragma once

#include "platform/WeakDelegate.h"

#include <QColor>
#include <QDBusConnection>
#include <QDBusVariant>
#include <QIcon>
#include <QObject>
#include <QString>
#include <QVariant>

#include <optional>

namespace quillet {

/// A colour from "#RRGGBB" text (blanks around it ignored, letters in any case), alpha 1.
/// None unless the trimmed text is "#" and six more characters; an unreadable pair of
/// digits reads as far as it is hexadecimal (0 when not at all).
std::optional<QColor> colorFromHex(const QString& text);

/// The token colours of the pattern and template editors.
const QColor& tokenBlue();
const QColor& tokenGray();

struct BundleListAppearance {
    QString appearance;
};

struct EditorAppearance {
    QString appearance;
    QColor mainBoxColor;
    QColor templateBoxColor;
    QColor errorBoxColor;
    QColor bottomBarBoxColor;
};

/// One look of the application: its name, the two status icons (normal and while an
/// expansion runs) and the colours of the editor window.
struct Appearance {
    QString appearance;
    QIcon statusBarNormalIcon;
    QIcon statusBarActiveIcon;
    BundleListAppearance bundleList;
    EditorAppearance editor;
    /// The resource names of the two icons ("menubar-black", "menubar-black-active", …).
    QString statusBarNormalIconName;
    QString statusBarActiveIconName;
};

/// The light look: dark icons for a light panel.
Appearance lightAppearance();
/// The dark look: light icons for a dark panel.
Appearance darkAppearance();

class AppearanceController;

class AppearanceControllerDelegate {
public:
    virtual ~AppearanceControllerDelegate() = default;
    /// The panel's colour scheme changed; `appearance` is the controller's applicationAppearance().
    virtual void appearanceControllerDidChangeAppearance(AppearanceController& controller, const Appearance& appearance)
        = 0;
};

/// Watches the desktop's colour scheme (the portal setting "org.freedesktop.appearance"
/// "color-scheme", 1 = dark) and tells its delegate of every change, the first answer of the
/// portal included. Nothing waits for the portal: until it answers the look is the light one. The windows always use
/// the light look; only the status icon follows the panel. The delegate is not owned.
class AppearanceController final : public QObject {
    Q_OBJECT

public:
    explicit AppearanceController(
        QDBusConnection connection = QDBusConnection::sessionBus(), QObject* parent = nullptr);

    void setDelegate(AppearanceControllerDelegate* delegate) { m_delegate.set(delegate); }
    AppearanceControllerDelegate* delegate() const { return m_delegate.get(); }

    /// Always the light look.
    Appearance applicationAppearance() const { return lightAppearance(); }
    /// The dark look when the interface style is "Dark", else the light one.
    Appearance currentAppearance() const;

    /// "Dark" when the desktop prefers dark, else none.
    std::optional<QString> interfaceStyle() const { return m_interfaceStyle; }

private Q_SLOTS:
    void onSettingChanged(const QString& nameSpace, const QString& key, const QDBusVariant& value);

private:
    void publish(const QVariant& colorScheme);
    void tellDelegate();

    QDBusConnection m_connection;
    WeakDelegate<AppearanceControllerDelegate> m_delegate;
    std::optional<QString> m_interfaceStyle;
    bool m_heardChange = false;
};

} // namespace quillet
