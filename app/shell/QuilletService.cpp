#include "shell/QuilletService.h"

#include "docs/views/QtText.h"
#include "library/App.h"
#include "platform/SessionBusConnection.h"
#include "shell/AppDelegate.h"
#include "text/UnicodeConversion.h"

#include <nlohmann/json.hpp>

#include <QDBusMessage>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTimer>
#include <QUrl>

#include <dbus/dbus.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quillet {
namespace {

Q_LOGGING_CATEGORY(serviceLog, "quillet.service")

constexpr const char* applicationInterface = "org.freedesktop.Application";

constexpr const char* introspection = R"(<!DOCTYPE node PUBLIC "-//freedesktop//DTD D-BUS Object Introspection 1.0//EN"
"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd">
<node>
  <interface name="com.orvanta.Quillet">
    <method name="Expand">
      <arg name="text" type="s" direction="in"/>
      <arg name="arguments" type="a{sv}" direction="in"/>
      <arg type="a{sv}" direction="out"/>
    </method>
    <method name="ExpandAsJSON">
      <arg name="text" type="s" direction="in"/>
      <arg name="arguments" type="a{sv}" direction="in"/>
      <arg type="s" direction="out"/>
    </method>
    <method name="OpenFiles">
      <arg name="paths" type="as" direction="in"/>
    </method>
  </interface>
  <interface name="org.freedesktop.Application">
    <method name="Activate">
      <arg name="platform_data" type="a{sv}" direction="in"/>
    </method>
    <method name="Open">
      <arg name="uris" type="as" direction="in"/>
      <arg name="platform_data" type="a{sv}" direction="in"/>
    </method>
    <method name="ActivateAction">
      <arg name="action_name" type="s" direction="in"/>
      <arg name="parameter" type="av" direction="in"/>
      <arg name="platform_data" type="a{sv}" direction="in"/>
    </method>
  </interface>
  <interface name="org.freedesktop.DBus.Properties">
    <method name="Get">
      <arg name="interface_name" type="s" direction="in"/>
      <arg name="property_name" type="s" direction="in"/>
      <arg name="value" type="v" direction="out"/>
    </method>
    <method name="Set">
      <arg name="interface_name" type="s" direction="in"/>
      <arg name="property_name" type="s" direction="in"/>
      <arg name="value" type="v" direction="in"/>
    </method>
    <method name="GetAll">
      <arg name="interface_name" type="s" direction="in"/>
      <arg name="values" type="a{sv}" direction="out"/>
    </method>
    <signal name="PropertiesChanged">
      <arg name="interface_name" type="s"/>
      <arg name="changed_properties" type="a{sv}"/>
      <arg name="invalidated_properties" type="as"/>
    </signal>
  </interface>
  <interface name="org.freedesktop.DBus.Introspectable">
    <method name="Introspect">
      <arg name="xml_data" type="s" direction="out"/>
    </method>
  </interface>
  <interface name="org.freedesktop.DBus.Peer">
    <method name="Ping"/>
    <method name="GetMachineId">
      <arg name="machine_uuid" type="s" direction="out"/>
    </method>
  </interface>
</node>
)";

/// The bus's strings are valid UTF-8 (libdbus checks them); ICU keeps a leading U+FEFF.
QString toQString(const char* utf8)
{
    return qtString(fromUtf8(utf8));
}

const char* basicString(DBusMessageIter& iterator)
{
    const char* value = nullptr;
    dbus_message_iter_get_basic(&iterator, &value);
    return value;
}

/// The longest address of a local file: the longest path with every byte escaped, after the
/// scheme and a host name.
constexpr std::size_t largestFileAddressBytes = 3 * (PATH_MAX - 1) + 512;

/// The strings of an "as" argument, or why the call is refused: more of them than a call
/// imports, or one longer than `longest` bytes. Each is measured before it is built.
struct Strings {
    QStringList values;
    std::string refusal;
};

Strings strings(DBusMessageIter& argument, std::size_t longest)
{
    Strings result;
    DBusMessageIter item;
    dbus_message_iter_recurse(&argument, &item);
    std::vector<const char*> raw;
    for (; dbus_message_iter_get_arg_type(&item) == DBUS_TYPE_STRING; dbus_message_iter_next(&item)) {
        if (raw.size() == QuilletService::largestFileCount) {
            result.refusal = "More than " + std::to_string(QuilletService::largestFileCount)
                + " files in one call: no file was opened";
            return result;
        }
        const char* value = basicString(item);
        if (std::strlen(value) > longest) {
            result.refusal = "A path is longer than the system allows (" + std::to_string(PATH_MAX - 1)
                + " bytes): no file was opened";
            return result;
        }
        raw.push_back(value);
    }
    for (const char* value : raw)
        result.values << toQString(value);
    return result;
}

/// "extension" of an "a{sv}" argument, when its value is a string; the last entry counts.
std::optional<std::string> extensionArgument(DBusMessageIter& argument)
{
    std::optional<std::string> extension;
    DBusMessageIter entries;
    dbus_message_iter_recurse(&argument, &entries);
    for (; dbus_message_iter_get_arg_type(&entries) == DBUS_TYPE_DICT_ENTRY; dbus_message_iter_next(&entries)) {
        DBusMessageIter entry;
        dbus_message_iter_recurse(&entries, &entry);
        if (std::string_view(basicString(entry)) != "extension")
            continue;
        dbus_message_iter_next(&entry);
        DBusMessageIter value;
        dbus_message_iter_recurse(&entry, &value);
        if (dbus_message_iter_get_arg_type(&value) == DBUS_TYPE_STRING)
            extension = basicString(value);
        else
            extension.reset(); // any other type counts as absent
    }
    return extension;
}

struct MessageUnref {
    void operator()(DBusMessage* message) const { dbus_message_unref(message); }
};
using Message = std::unique_ptr<DBusMessage, MessageUnref>;

void appendString(DBusMessageIter& iterator, const std::string& text)
{
    const char* value = text.c_str();
    dbus_message_iter_append_basic(&iterator, DBUS_TYPE_STRING, &value);
}

template <typename Value> void appendEntry(DBusMessageIter& dictionary, const char* key, int type, const Value& value)
{
    DBusMessageIter entry, variant;
    const char typeSignature[] = { char(type), '\0' };
    dbus_message_iter_open_container(&dictionary, DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
    dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &key);
    dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, typeSignature, &variant);
    dbus_message_iter_append_basic(&variant, type, &value);
    dbus_message_iter_close_container(&entry, &variant);
    dbus_message_iter_close_container(&dictionary, &entry);
}

/// An "a{sv}" answer: Expand's, in the keys' order, or an empty dictionary.
Message dictionaryReply(DBusMessage* call, const std::optional<QuilletService::Expansion>& expansion)
{
    Message reply(dbus_message_new_method_return(call));
    DBusMessageIter arguments, dictionary;
    dbus_message_iter_init_append(reply.get(), &arguments);
    dbus_message_iter_open_container(&arguments, DBUS_TYPE_ARRAY, "{sv}", &dictionary);
    if (expansion) {
        appendEntry(dictionary, "cursor_position", DBUS_TYPE_INT32, dbus_int32_t(expansion->cursorPosition));
        appendEntry(dictionary, "text", DBUS_TYPE_STRING, expansion->text.c_str());
    }
    dbus_message_iter_close_container(&arguments, &dictionary);
    return reply;
}

Message stringReply(DBusMessage* call, const std::string& text)
{
    Message reply(dbus_message_new_method_return(call));
    DBusMessageIter arguments;
    dbus_message_iter_init_append(reply.get(), &arguments);
    appendString(arguments, text);
    return reply;
}

Message errorReply(DBusMessage* call, const char* name, const std::string& text)
{
    return Message(dbus_message_new_error(call, name, text.c_str()));
}

/// The refusal of paths longer than the system allows.
Message overlongPathReply(DBusMessage* call)
{
    return errorReply(call, DBUS_ERROR_INVALID_ARGS,
        "A path is longer than the system allows (" + std::to_string(PATH_MAX - 1) + " bytes): no file was opened");
}

/// The answer to a call on the object; none for a method it does not have, which libdbus
/// answers as unknown. The methods that need the library are refused while it is not loaded.
Message answer(QuilletService& service, DBusMessage* call)
{
    const char* interfaceName = dbus_message_get_interface(call);
    const std::string_view interface = interfaceName ? interfaceName : "";
    const std::string_view member = dbus_message_get_member(call);
    const std::string_view signature = dbus_message_get_signature(call);
    // A call may leave out the interface.
    const auto is = [&](std::string_view ofInterface, std::string_view method, std::string_view arguments) {
        return (interface.empty() || interface == ofInterface) && member == method && signature == arguments;
    };
    DBusMessageIter arguments;
    dbus_message_iter_init(call, &arguments);

    const bool expanding = is(QuilletService::serviceName, "Expand", "sa{sv}");
    const bool expandingAsJson = is(QuilletService::serviceName, "ExpandAsJSON", "sa{sv}");
    const bool opening = is(QuilletService::serviceName, "OpenFiles", "as");
    const bool activating = is(applicationInterface, "Activate", "a{sv}");
    const bool openingAddresses = is(applicationInterface, "Open", "asa{sv}");
    if (expanding || expandingAsJson || opening || activating || openingAddresses) {
        if (const auto problem = service.libraryProblem())
            return errorReply(call, QuilletService::libraryNotLoadedError, *problem);
    }
    if (expanding || expandingAsJson) {
        const char* rawText = basicString(arguments);
        // Measured before anything is made of it: the expansion of such a text would hold
        // every other caller, and its copies the memory, for seconds.
        if (std::strlen(rawText) > QuilletService::largestTextBytes)
            return errorReply(call, QuilletService::textTooLongError,
                "The text is longer than Quillet expands (" + std::to_string(QuilletService::largestTextBytes)
                    + " bytes of UTF-8): nothing was expanded");
        // Never a D-Bus error: whatever goes wrong is "no value".
        std::optional<QuilletService::Expansion> expansion;
        std::string json;
        try {
            const std::string_view text = rawText;
            dbus_message_iter_next(&arguments);
            const auto extension = extensionArgument(arguments);
            if (expanding)
                expansion = service.expand(text, extension);
            else
                json = service.expandAsJson(text, extension);
        } catch (const std::exception& error) {
            qCWarning(serviceLog) << "The expansion over D-Bus failed:" << error.what();
        } catch (...) {
            qCWarning(serviceLog) << "The expansion over D-Bus failed";
        }
        return expanding ? dictionaryReply(call, expansion) : stringReply(call, json);
    }
    if (opening || openingAddresses) {
        const Strings paths = strings(arguments, opening ? std::size_t(PATH_MAX - 1) : largestFileAddressBytes);
        if (!paths.refusal.empty())
            return errorReply(call, DBUS_ERROR_INVALID_ARGS, paths.refusal);
        if (!(opening ? service.openFiles(paths.values) : service.open(paths.values)))
            return overlongPathReply(call);
        return Message(dbus_message_new_method_return(call));
    }
    if (activating) {
        service.activate();
        return Message(dbus_message_new_method_return(call));
    }
    if (is(applicationInterface, "ActivateAction", "sava{sv}")) {
        const std::string_view name = basicString(arguments);
        const auto action = globalActionNamed(name);
        if (!action) {
            std::string known;
            for (const GlobalAction each : allGlobalActions)
                known += std::string(known.empty() ? "" : ", ") + std::string(globalActionName(each));
            return errorReply(call, DBUS_ERROR_INVALID_ARGS,
                "Quillet has no action " + std::string(name) + " (its actions: " + known + ")");
        }
        dbus_message_iter_next(&arguments);
        DBusMessageIter parameter;
        dbus_message_iter_recurse(&arguments, &parameter);
        if (dbus_message_iter_get_arg_type(&parameter) != DBUS_TYPE_INVALID)
            return errorReply(call, DBUS_ERROR_INVALID_ARGS, "The action " + std::string(name) + " takes no parameter");
        if (const auto problem = service.libraryProblem())
            return errorReply(call, QuilletService::libraryNotLoadedError, *problem);
        service.activateAction(*action);
        return Message(dbus_message_new_method_return(call));
    }
    if (is(DBUS_INTERFACE_INTROSPECTABLE, "Introspect", ""))
        return stringReply(call, introspection);
    // Neither interface has properties.
    if (is(DBUS_INTERFACE_PROPERTIES, "GetAll", "s")) {
        const std::string_view ofInterface = basicString(arguments);
        if (ofInterface != QuilletService::serviceName && ofInterface != applicationInterface)
            return errorReply(call, DBUS_ERROR_UNKNOWN_INTERFACE,
                "Interface " + std::string(ofInterface) + " was not found in object " + QuilletService::objectPath);
        return dictionaryReply(call, std::nullopt);
    }
    if (is(DBUS_INTERFACE_PROPERTIES, "Get", "ss") || is(DBUS_INTERFACE_PROPERTIES, "Set", "ssv")) {
        dbus_message_iter_next(&arguments);
        return errorReply(call, DBUS_ERROR_UNKNOWN_PROPERTY,
            "Property " + std::string(basicString(arguments)) + " was not found in object "
                + QuilletService::objectPath);
    }
    return nullptr;
}

DBusHandlerResult handleMessage(DBusConnection* connection, DBusMessage* call, void* service)
{
    if (dbus_message_get_type(call) != DBUS_MESSAGE_TYPE_METHOD_CALL)
        return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
    Message reply;
    try {
        reply = answer(*static_cast<QuilletService*>(service), call);
        if (!reply)
            return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
    } catch (const std::exception& error) {
        reply = errorReply(call, DBUS_ERROR_FAILED, error.what());
    } catch (...) {
        // Nothing may unwind through libdbus.
        reply = errorReply(call, DBUS_ERROR_FAILED, "The call failed");
    }
    if (!reply)
        return DBUS_HANDLER_RESULT_NEED_MEMORY;
    if (!dbus_message_get_no_reply(call))
        dbus_connection_send(connection, reply.get(), nullptr);
    return DBUS_HANDLER_RESULT_HANDLED;
}

} // namespace

bool QuilletService::fitsAPath(const QString& path)
{
    // Counted as the system counts it, with the terminating NUL.
    return path.toUtf8().size() < PATH_MAX;
}

QuilletService::QuilletService(AppDelegate& delegate)
    : m_delegate(delegate)
{
}

QuilletService::~QuilletService()
{
    if (m_connection)
        m_connection->unregisterObjectPath(objectPath);
}

bool QuilletService::exportOn(SessionBusConnection& connection)
{
    static const DBusObjectPathVTable handler = [] {
        DBusObjectPathVTable table {};
        table.message_function = handleMessage;
        return table;
    }();
    if (!connection.registerObjectPath(objectPath, handler, this))
        return false;
    m_connection = &connection;
    return true;
}

std::optional<QuilletService::Expansion> QuilletService::expand(
    std::string_view text, const std::optional<std::string>& extension)
{
    const auto expression = m_delegate.expand(
        fromUtf8(text), extension ? std::optional<icu::UnicodeString>(fromUtf8(*extension)) : std::nullopt);
    if (!expression)
        return std::nullopt;
    return Expansion { .text = toUtf8(expression->text), .cursorPosition = expression->cursorCodeUnitOffset() };
}

std::string QuilletService::expandAsJson(std::string_view text, const std::optional<std::string>& extension)
{
    const auto expansion = expand(text, extension);
    if (!expansion)
        return {};
    // The same text as `quillet expand` prints.
    nlohmann::ordered_json result;
    result["text"] = expansion->text;
    result["cursorPosition"] = expansion->cursorPosition;
    return result.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

bool QuilletService::openFiles(const QStringList& paths)
{
    // Such a path names no file, and the alert that would say so for a huge one holds the
    // application for seconds: the call is refused as a whole, before anything is imported.
    if (std::any_of(paths.begin(), paths.end(), [](const QString& path) { return !fitsAPath(path); }))
        return false;
    // Import after answering: an import may show an alert, which must not hold the caller. The
    // files wait here, so that an end that comes first still imports them (finish()).
    m_acceptedFiles += paths;
    if (!m_importScheduled && !m_finishing && !m_acceptedFiles.isEmpty()) {
        m_importScheduled = true;
        QTimer::singleShot(0, &m_context, [this] {
            m_importScheduled = false;
            importAcceptedFiles();
        });
    }
    return true;
}

void QuilletService::importAcceptedFiles()
{
    const QStringList files = std::exchange(m_acceptedFiles, {});
    m_delegate.importFiles(files);
}

std::optional<std::string> QuilletService::libraryProblem() const
{
    const App* app = App::sharedIfCreated();
    if (app && app->isLoaded())
        return std::nullopt;
    if (app) {
        std::string problem = "Quillet could not load its library";
        if (const auto& error = app->loadError())
            problem += ": " + toUtf8(error->userErrorTitle()) + ": " + toUtf8(error->userErrorDescription());
        return problem;
    }
    // The library is being loaded. Only an alert of the load's own, which says why it failed,
    // lets a call be served meanwhile.
    if (m_loadingProblem) {
        if (const auto shown = m_loadingProblem())
            return "Quillet could not load its library: " + *shown;
    }
    return std::string("Quillet is loading its library");
}

void QuilletService::finish()
{
    m_finishing = true;
    if (m_connection)
        m_connection->dispatchArrived(finishingCallsBound);
    App* app = App::sharedIfCreated();
    if (m_acceptedFiles.isEmpty() || !app || !app->isLoaded())
        return;
    // Nobody is left to dismiss an alert: what cannot be imported is written to the log.
    app->bundleStore().setImportFeedback({ .alerts = App::Environment::headless().alerts, .application = nullptr });
    importAcceptedFiles();
}

void QuilletService::activateAction(GlobalAction action)
{
    // After answering: the caller (a desktop's shortcut, `quillet action`) is never held by
    // the press, which reads and writes another application's text.
    QTimer::singleShot(0, &m_delegate, [delegate = &m_delegate, action] { delegate->runGlobalAction(action); });
}

void QuilletService::activate()
{
    // After answering, so that the caller, a second start, exits at once.
    QTimer::singleShot(0, &m_delegate, [delegate = &m_delegate] { delegate->showExpandersWindow(); });
}

bool QuilletService::open(const QStringList& uris)
{
    QStringList paths;
    for (const QString& uri : uris) {
        const QUrl url(uri);
        if (url.isLocalFile())
            paths << url.toLocalFile();
    }
    return openFiles(paths);
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
    const QDBusMessage reply = connection.call(call, QDBus::Block, handOverMilliseconds);
    return reply.type() == QDBusMessage::ReplyMessage;
}

bool activateRunningInstance(QDBusConnection connection)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(QuilletService::serviceName),
        QString::fromLatin1(QuilletService::objectPath), QString::fromLatin1(applicationInterface),
        QStringLiteral("Activate"));
    call << QVariantMap();
    const QDBusMessage reply = connection.call(call, QDBus::Block, handOverMilliseconds);
    return reply.type() == QDBusMessage::ReplyMessage;
}

bool activateActionOfRunningInstance(QDBusConnection connection, const QString& name)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QString::fromLatin1(QuilletService::serviceName),
        QString::fromLatin1(QuilletService::objectPath), QString::fromLatin1(applicationInterface),
        QStringLiteral("ActivateAction"));
    call << name << QVariantList() << QVariantMap();
    const QDBusMessage reply = connection.call(call, QDBus::Block, handOverMilliseconds);
    return reply.type() == QDBusMessage::ReplyMessage;
}

} // namespace quillet
