#include "front/DesktopLauncher.h"

#include "front/GlobalAction.h"

#include <dbus/dbus.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <type_traits>

namespace quillet {
namespace {

constexpr const char* serviceName = "com.orvanta.Quillet";
constexpr const char* objectPath = "/com/orvanta/Quillet";
constexpr int callTimeoutMilliseconds = 10000;

enum class HandOver { taken, notRunning, failed };

/// The few calls of the bus library that hand files over. The library is opened only when
/// files are handed over: loading it (and the libraries it pulls in) at every start cost
/// `quillet expand` more than its own work.
struct BusLibrary {
    void* handle = nullptr;
    decltype(&dbus_error_init) errorInit = nullptr;
    decltype(&dbus_error_free) errorFree = nullptr;
    decltype(&dbus_error_has_name) errorHasName = nullptr;
    decltype(&dbus_bus_get_private) busGetPrivate = nullptr;
    decltype(&dbus_connection_set_exit_on_disconnect) setExitOnDisconnect = nullptr;
    decltype(&dbus_connection_send_with_reply_and_block) sendWithReplyAndBlock = nullptr;
    decltype(&dbus_connection_close) connectionClose = nullptr;
    decltype(&dbus_connection_unref) connectionUnref = nullptr;
    decltype(&dbus_message_new_method_call) newMethodCall = nullptr;
    decltype(&dbus_message_set_auto_start) setAutoStart = nullptr;
    decltype(&dbus_message_unref) messageUnref = nullptr;
    decltype(&dbus_message_iter_init_append) iterInitAppend = nullptr;
    decltype(&dbus_message_iter_open_container) iterOpenContainer = nullptr;
    decltype(&dbus_message_iter_append_basic) iterAppendBasic = nullptr;
    decltype(&dbus_message_iter_close_container) iterCloseContainer = nullptr;

    /// Null when the library or one of its calls is missing.
    static std::unique_ptr<BusLibrary> open()
    {
        auto library = std::make_unique<BusLibrary>();
        // Never unloaded: what the library keeps in its own globals stays reachable until exit,
        // instead of turning into leaks when its code goes away.
        library->handle = dlopen("libdbus-1.so.3", RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (!library->handle)
            return nullptr;
        bool complete = true;
        auto find = [&](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(library->handle, name));
            complete = complete && function != nullptr;
        };
        find(library->errorInit, "dbus_error_init");
        find(library->errorFree, "dbus_error_free");
        find(library->errorHasName, "dbus_error_has_name");
        find(library->busGetPrivate, "dbus_bus_get_private");
        find(library->setExitOnDisconnect, "dbus_connection_set_exit_on_disconnect");
        find(library->sendWithReplyAndBlock, "dbus_connection_send_with_reply_and_block");
        find(library->connectionClose, "dbus_connection_close");
        find(library->connectionUnref, "dbus_connection_unref");
        find(library->newMethodCall, "dbus_message_new_method_call");
        find(library->setAutoStart, "dbus_message_set_auto_start");
        find(library->messageUnref, "dbus_message_unref");
        find(library->iterInitAppend, "dbus_message_iter_init_append");
        find(library->iterOpenContainer, "dbus_message_iter_open_container");
        find(library->iterAppendBasic, "dbus_message_iter_append_basic");
        find(library->iterCloseContainer, "dbus_message_iter_close_container");
        return complete ? std::move(library) : nullptr;
    }

    BusLibrary() = default;
    BusLibrary(const BusLibrary&) = delete;
    BusLibrary& operator=(const BusLibrary&) = delete;
    ~BusLibrary()
    {
        if (handle)
            dlclose(handle); // drops the reference; RTLD_NODELETE keeps the library mapped
    }
};

/// Calls a method of the running application, its arguments appended by `append`; `what` names
/// the request in the message of a refusal.
HandOver callRunningApplication(const char* interface, const char* method,
    const std::function<void(BusLibrary&, DBusMessageIter&)>& append, const char* what, std::ostream& errors)
{
    const auto bus = BusLibrary::open();
    if (!bus)
        return HandOver::notRunning; // no bus library, so no bus: the application starts itself
    DBusError error;
    bus->errorInit(&error);
    DBusConnection* connection = bus->busGetPrivate(DBUS_BUS_SESSION, &error);
    if (!connection) {
        bus->errorFree(&error);
        return HandOver::notRunning; // no bus: the application starts itself
    }
    bus->setExitOnDisconnect(connection, FALSE);

    DBusMessage* call = bus->newMethodCall(serviceName, objectPath, interface, method);
    bus->setAutoStart(call, FALSE);
    DBusMessageIter arguments;
    bus->iterInitAppend(call, &arguments);
    append(*bus, arguments);

    DBusMessage* reply = bus->sendWithReplyAndBlock(connection, call, callTimeoutMilliseconds, &error);
    bus->messageUnref(call);
    HandOver result = HandOver::taken;
    if (!reply) {
        if (bus->errorHasName(&error, DBUS_ERROR_SERVICE_UNKNOWN)
            || bus->errorHasName(&error, DBUS_ERROR_NAME_HAS_NO_OWNER)) {
            result = HandOver::notRunning;
        } else {
            errors << "quillet: the running application did not take " << what << ": "
                   << (error.message ? error.message : "unknown error") << '\n';
            result = HandOver::failed;
        }
        bus->errorFree(&error);
    } else {
        bus->messageUnref(reply);
    }
    bus->connectionClose(connection);
    bus->connectionUnref(connection);
    return result;
}

HandOver handFilesOver(const std::vector<std::string>& paths, std::ostream& errors)
{
    return callRunningApplication(
        serviceName, "OpenFiles",
        [&paths](BusLibrary& bus, DBusMessageIter& arguments) {
            DBusMessageIter array;
            bus.iterOpenContainer(&arguments, DBUS_TYPE_ARRAY, DBUS_TYPE_STRING_AS_STRING, &array);
            for (const auto& path : paths) {
                const char* text = path.c_str();
                bus.iterAppendBasic(&array, DBUS_TYPE_STRING, &text);
            }
            bus.iterCloseContainer(&arguments, &array);
        },
        "the files", errors);
}

HandOver handActionOver(const std::string& name, std::ostream& errors)
{
    return callRunningApplication(
        "org.freedesktop.Application", "ActivateAction",
        [&name](BusLibrary& bus, DBusMessageIter& arguments) {
            const char* text = name.c_str();
            bus.iterAppendBasic(&arguments, DBUS_TYPE_STRING, &text);
            DBusMessageIter parameter, platformData;
            bus.iterOpenContainer(&arguments, DBUS_TYPE_ARRAY, DBUS_TYPE_VARIANT_AS_STRING, &parameter);
            bus.iterCloseContainer(&arguments, &parameter);
            bus.iterOpenContainer(&arguments, DBUS_TYPE_ARRAY, "{sv}", &platformData);
            bus.iterCloseContainer(&arguments, &platformData);
        },
        "the action", errors);
}

/// Replaces this process with quillet-app and the arguments.
int execApplication(std::vector<std::string> words, std::ostream& errors)
{
    std::error_code failure;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", failure);
    const std::filesystem::path program = (failure ? std::filesystem::path(".") : self.parent_path()) / "quillet-app";
    words.insert(words.begin(), program.string());
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    errors.flush();
    execv(program.c_str(), argv.data());
    errors << "quillet: cannot start " << program.string() << ": " << std::strerror(errno) << '\n';
    return 1;
}

} // namespace

bool isDesktopLaunch(const std::vector<std::string>& arguments)
{
    if (arguments.empty())
        return true;
    const std::string& first = arguments.front();
    if (first == "expand" || first.empty() || first[0] == '-')
        return false;
    // Files must exist; anything else is a mistyped command, answered with the usage.
    for (const auto& argument : arguments) {
        std::error_code failure;
        if (!std::filesystem::is_regular_file(argument, failure))
            return false;
    }
    return true;
}

int runDesktopLauncher(const std::vector<std::string>& files, std::ostream& errors)
{
    std::vector<std::string> paths;
    for (const auto& file : files) {
        std::error_code failure;
        const auto absolute = std::filesystem::absolute(file, failure);
        paths.push_back(failure ? file : absolute.lexically_normal().string());
    }
    if (!paths.empty()) {
        switch (handFilesOver(paths, errors)) {
        case HandOver::taken:
            return 0;
        case HandOver::failed:
            return 1;
        case HandOver::notRunning:
            break;
        }
    }
    if (paths.empty())
        paths.emplace_back(showEditorOption);
    return execApplication(std::move(paths), errors);
}

int runGlobalActionCommand(const std::vector<std::string>& arguments, std::ostream& errors)
{
    std::string names;
    for (const GlobalAction action : allGlobalActions)
        names += std::string(names.empty() ? "" : "|") + std::string(globalActionName(action));
    if (arguments.size() != 1 || !globalActionNamed(arguments.front())) {
        errors << "quillet: "
               << (arguments.empty()             ? std::string("no action given")
                          : arguments.size() > 1 ? "more than one action given"
                                                 : "unknown action " + arguments.front())
               << "\nusage: quillet action " << names << '\n';
        return 64;
    }
    switch (handActionOver(arguments.front(), errors)) {
    case HandOver::taken:
        return 0;
    case HandOver::failed:
        return 1;
    case HandOver::notRunning:
        break;
    }
    return execApplication({ actionOption, arguments.front() }, errors);
}

} // namespace quillet
