#include "shell/QuilletService.h"

#include "docs/views/QtText.h"
#include "shell/AppDelegate.h"
#include "text/UnicodeConversion.h"

#include <nlohmann/json.hpp>

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QDBusReply>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>

namespace quillet {
namespace {

std::optional<icu::UnicodeString> extensionArgument(const QVariantMap& arguments)
{
    const QVariant value = arguments.value(QStringLiteral("extension"));
    if (value.typeId() != QMetaType::QString)
        return std::nullopt; // absent, or any other type
    return icuString(value.toString());
}

} // namespace

/// The desktop's interface of an application that is started once and then activated
/// (org.freedesktop.Application), on the service's object.
class ApplicationActivationAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    ApplicationActivationAdaptor(QuilletService& service, AppDelegate& delegate)
        : QDBusAbstractAdaptor(&service)
        , m_delegate(delegate)
    {
    }

public Q_SLOTS:
    void Activate(const QVariantMap&)
    {
        // After answering, so that the caller, a second start, exits at once.
        QTimer::singleShot(0, &m_delegate, [delegate = &m_delegate] { delegate->showExpandersWindow(); });
    }

    void Open(const QStringList& uris, const QVariantMap&)
    {
        QStringList paths;
        for (const QString& uri : uris) {
            const QUrl url(uri);
            if (url.isLocalFile())
                paths << url.toLocalFile();
        }
        QTimer::singleShot(0, &m_delegate, [delegate = &m_delegate, paths] { delegate->importFiles(paths); });
    }

    void ActivateAction(const QString&, const QVariantList&, const QVariantMap&)
    {
        // The desktop entry declares no actions: there is none to run.
    }

private:
    AppDelegate& m_delegate;
};

QuilletService::QuilletService(AppDelegate& delegate, QObject* parent)
    : QObject(parent)
    , m_delegate(delegate)
{
    new ApplicationActivationAdaptor(*this, delegate);
}

bool QuilletService::exportOn(QDBusConnection connection)
{
    return connection.registerObject(
        QString::fromLatin1(objectPath), this, QDBusConnection::ExportAllSlots | QDBusConnection::ExportAdaptors);
}

QVariantMap QuilletService::Expand(const QString& text, const QVariantMap& arguments)
{
    const auto expression = m_delegate.expand(icuString(text), extensionArgument(arguments));
    if (!expression)
        return {};
    return { { QStringLiteral("text"), qtString(expression->text) },
        { QStringLiteral("cursor_position"), int(expression->cursorCodeUnitOffset()) } };
}

QString QuilletService::ExpandAsJSON(const QString& text, const QVariantMap& arguments)
{
    const auto expression = m_delegate.expand(icuString(text), extensionArgument(arguments));
    if (!expression)
        return QString(QLatin1String(""));
    // The same text as `quillet expand` prints.
    nlohmann::ordered_json result;
    result["text"] = toUtf8(expression->text);
    result["cursorPosition"] = expression->cursorCodeUnitOffset();
    return QString::fromStdString(result.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

void QuilletService::OpenFiles(const QStringList& paths)
{
    // Import after answering: an import may show an alert, which must not hold the caller.
    QTimer::singleShot(0, &m_delegate, [delegate = &m_delegate, paths] { delegate->importFiles(paths); });
}

bool handFilesToRunningInstance(QDBusConnection connection, const QStringList& paths)
{
    QStringList absolute;
    for (const QString& path : paths)
        absolute << QFileInfo(path).absoluteFilePath();
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(QuilletService::serviceName),
        QString::fromLatin1(QuilletService::objectPath), QString::fromLatin1(QuilletService::serviceName),
        QStringLiteral("OpenFiles"));
    call << absolute;
    const QDBusMessage reply = connection.call(call, QDBus::Block, 10000);
    return reply.type() == QDBusMessage::ReplyMessage;
}

bool activateRunningInstance(QDBusConnection connection)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(QuilletService::serviceName),
        QString::fromLatin1(QuilletService::objectPath), QStringLiteral("org.freedesktop.Application"),
        QStringLiteral("Activate"));
    call << QVariantMap();
    const QDBusMessage reply = connection.call(call, QDBus::Block, 10000);
    return reply.type() == QDBusMessage::ReplyMessage;
}

} // namespace quillet

#include "QuilletService.moc"
