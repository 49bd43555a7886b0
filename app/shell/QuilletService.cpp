#include "shell/QuilletService.h"

#include "shell/AppDelegate.h"
#include "text/UnicodeConversion.h"

#include <nlohmann/json.hpp>

#include <QDBusMessage>
#include <QDBusReply>
#include <QFileInfo>
#include <QTimer>

namespace quillet {
namespace {

icu::UnicodeString toUnicode(const QString& text)
{
    return icu::UnicodeString(reinterpret_cast<const char16_t*>(text.utf16()), int32_t(text.size()));
}

QString toQString(const icu::UnicodeString& text)
{
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

std::optional<icu::UnicodeString> extensionArgument(const QVariantMap& arguments)
{
    const QVariant value = arguments.value(QStringLiteral("extension"));
    if (value.typeId() != QMetaType::QString)
        return std::nullopt; // absent, or any other type
    return toUnicode(value.toString());
}

} // namespace

QuilletService::QuilletService(AppDelegate& delegate, QObject* parent)
    : QObject(parent)
    , m_delegate(delegate)
{
}

bool QuilletService::exportOn(QDBusConnection connection)
{
    return connection.registerObject(QString::fromLatin1(objectPath), this, QDBusConnection::ExportAllSlots);
}

QVariantMap QuilletService::Expand(const QString& text, const QVariantMap& arguments)
{
    const auto expression = m_delegate.expand(toUnicode(text), extensionArgument(arguments));
    if (!expression)
        return {};
    return { { QStringLiteral("text"), toQString(expression->text) },
        { QStringLiteral("cursor_position"), int(expression->cursorCodeUnitOffset()) } };
}

QString QuilletService::ExpandAsJSON(const QString& text, const QVariantMap& arguments)
{
    const auto expression = m_delegate.expand(toUnicode(text), extensionArgument(arguments));
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

} // namespace quillet
