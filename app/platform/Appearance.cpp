#include "platform/Appearance.h"

#include "platform/DesktopResources.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDBusVariant>
#include <QLoggingCategory>

namespace quillet {
namespace {

Q_LOGGING_CATEGORY(appearanceLog, "quillet.appearance")

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearanceNamespace = QStringLiteral("org.freedesktop.appearance");
const QString colorSchemeKey = QStringLiteral("color-scheme");

/// Reads as many leading hexadecimal digits as there are (0 when none).
int scanHex(const QString& piece)
{
    int value = 0;
    for (const QChar c : piece) {
        const int digit = c.isDigit() ? c.unicode() - u'0' : (c >= u'A' && c <= u'F') ? c.unicode() - u'A' + 10 : -1;
        if (digit < 0)
            break;
        value = value * 16 + digit;
    }
    return value;
}

QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(float(alpha));
    return color;
}

QIcon statusIcon(const QString& name)
{
    ensureDesktopResources();
    return QIcon(QStringLiteral(":/quillet/images/%1.svg").arg(name));
}

/// A value of the portal, unwrapped from its variants.
QVariant unwrapped(QVariant value)
{
    while (value.canConvert<QDBusVariant>() && value.typeId() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return value;
}

} // namespace

std::optional<QColor> colorFromHex(const QString& text)
{
    const QString upper = text.trimmed().toUpper();
    if (!upper.startsWith(QLatin1Char('#')))
        return std::nullopt;
    // Seven characters as the user sees them.
    int characters = 0;
    for (int i = 0; i < upper.size(); ++i, ++characters)
        if (upper[i].isHighSurrogate() && i + 1 < upper.size() && upper[i + 1].isLowSurrogate())
            ++i;
    if (characters != 7 || upper.size() < 7)
        return std::nullopt;
    const QString digits = upper.mid(1);
    return QColor(scanHex(digits.mid(0, 2)), scanHex(digits.mid(2, 2)), scanHex(digits.mid(4, 2)));
}

const QColor& tokenBlue()
{
    static const QColor color = *colorFromHex(QStringLiteral("#52C0FF"));
    return color;
}

const QColor& tokenGray()
{
    static const QColor color = *colorFromHex(QStringLiteral("#bbbbbb"));
    return color;
}

Appearance lightAppearance()
{
    const QString name = QStringLiteral("VibrantLight");
    return Appearance {
        name,
        statusIcon(QStringLiteral("menubar-black")),
        statusIcon(QStringLiteral("menubar-black-active")),
        BundleListAppearance { name },
        EditorAppearance { name, withAlpha(Qt::white, 0.5), withAlpha(Qt::black, 0.05),
            withAlpha(*colorFromHex(QStringLiteral("#D8D8D8")), 0.5),
            withAlpha(*colorFromHex(QStringLiteral("#F0F0F0")), 0.5) },
        QStringLiteral("menubar-black"),
        QStringLiteral("menubar-black-active"),
    };
}

Appearance darkAppearance()
{
    const QString name = QStringLiteral("VibrantDark");
    return Appearance {
        name,
        statusIcon(QStringLiteral("menubar-white")),
        statusIcon(QStringLiteral("menubar-white-active")),
        BundleListAppearance { name },
        EditorAppearance { name, withAlpha(Qt::black, 0.1), withAlpha(Qt::white, 0.05),
            withAlpha(*colorFromHex(QStringLiteral("#272727")), 0.5),
            withAlpha(*colorFromHex(QStringLiteral("#0f0f0f")), 0.5) },
        QStringLiteral("menubar-white"),
        QStringLiteral("menubar-white-active"),
    };
}

AppearanceController::AppearanceController(QDBusConnection connection, QObject* parent)
    : QObject(parent)
    , m_connection(std::move(connection))
{
    if (!m_connection.isConnected())
        return;
    // The bus matches the slot's parameters by type name, and Qt registers QDBusVariant's
    // name only on its first use: without this, the subscription is refused and the icon
    // never follows a change of the panel's colour.
    qRegisterMetaType<QDBusVariant>();
    // Subscribed by path and interface, not by the portal's name: Qt would ask the bus for
    // the name's owner and wait for its answer.
    if (!m_connection.connect(QString(), portalPath, settingsInterface, QStringLiteral("SettingChanged"), this,
            SLOT(onSettingChanged(QString, QString, QDBusVariant))))
        qCWarning(appearanceLog) << "Cannot follow the desktop's colour scheme:" << m_connection.lastError().message();
    // Read without waiting: until the portal answers, the look is the light one.
    QDBusMessage read
        = QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface, QStringLiteral("Read"));
    read << appearanceNamespace << colorSchemeKey;
    auto* watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(read, 1000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        const QDBusMessage reply = finished->reply();
        // A change heard meanwhile is newer than what was read.
        if (m_heardChange || reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return;
        const auto before = m_interfaceStyle;
        publish(reply.arguments().constFirst());
        if (m_interfaceStyle != before)
            tellDelegate();
    });
}

Appearance AppearanceController::currentAppearance() const
{
    return m_interfaceStyle == QStringLiteral("Dark") ? darkAppearance() : lightAppearance();
}

void AppearanceController::publish(const QVariant& colorScheme)
{
    bool ok = false;
    const uint scheme = unwrapped(colorScheme).toUInt(&ok);
    if (ok && scheme == 1)
        m_interfaceStyle = QStringLiteral("Dark");
    else
        m_interfaceStyle.reset();
}

void AppearanceController::onSettingChanged(const QString& nameSpace, const QString& key, const QDBusVariant& value)
{
    if (nameSpace != appearanceNamespace || key != colorSchemeKey)
        return;
    m_heardChange = true;
    publish(value.variant());
    tellDelegate();
}

void AppearanceController::tellDelegate()
{
    if (auto* delegate = m_delegate.get())
        delegate->appearanceControllerDidChangeAppearance(*this, applicationAppearance());
}

} // namespace quillet
