#include "front/DesktopLauncher.h"

#include <dbus/dbus.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <ostream>

namespace quillet {
namespace {

constexpr const char* serviceName = "com.orvanta.Quillet";
constexpr const char* objectPath = "/com/orvanta/Quillet";
constexpr int callTimeoutMilliseconds = 10000;

enum class HandOver { taken, notRunning, failed };

HandOver handFilesOver(const std::vector<std::string>& paths, std::ostream& errors)
{
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* connection = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    if (!connection) {
        dbus_error_free(&error);
        return HandOver::notRunning; // no bus: the application starts with the files itself
    }
    dbus_connection_set_exit_on_disconnect(connection, FALSE);

    DBusMessage* call = dbus_message_new_method_call(serviceName, objectPath, serviceName, "OpenFiles");
    dbus_message_set_auto_start(call, FALSE);
    DBusMessageIter arguments, array;
    dbus_message_iter_init_append(call, &arguments);
    dbus_message_iter_open_container(&arguments, DBUS_TYPE_ARRAY, DBUS_TYPE_STRING_AS_STRING, &array);
    for (const auto& path : paths) {
        const char* text = path.c_str();
        dbus_message_iter_append_basic(&array, DBUS_TYPE_STRING, &text);
    }
    dbus_message_iter_close_container(&arguments, &array);

    DBusMessage* reply = dbus_connection_send_with_reply_and_block(connection, call, callTimeoutMilliseconds, &error);
    dbus_message_unref(call);
    HandOver result = HandOver::taken;
    if (!reply) {
        if (dbus_error_has_name(&error, DBUS_ERROR_SERVICE_UNKNOWN)
            || dbus_error_has_name(&error, DBUS_ERROR_NAME_HAS_NO_OWNER)) {
            result = HandOver::notRunning;
        } else {
            errors << "quillet: the running application did not take the files: "
                   << (error.message ? error.message : "unknown error") << '\n';
            result = HandOver::failed;
        }
        dbus_error_free(&error);
    } else {
        dbus_message_unref(reply);
    }
    dbus_connection_close(connection);
    dbus_connection_unref(connection);
    return result;
}

int execApplication(const std::vector<std::string>& files, std::ostream& errors)
{
    std::error_code failure;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", failure);
    const std::filesystem::path program = (failure ? std::filesystem::path(".") : self.parent_path()) / "quillet-app";
    std::vector<std::string> words { program.string() };
    if (files.empty())
        words.emplace_back(showEditorOption);
    words.insert(words.end(), files.begin(), files.end());
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
    return execApplication(paths, errors);
}

} // namespace quillet
