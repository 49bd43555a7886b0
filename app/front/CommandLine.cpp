#include "front/CommandLine.h"

#include "front/ExpandingController.h"
#include "front/PrefilterCache.h"
#include "front/SettingsFile.h"
#include "front/UserDefaultsKey.h"
#include "library/Alert.h"
#include "library/App.h"
#include "library/Paths.h"
#include "library/UserAlerts.h"
#include "library/UserNotifications.h"
#include "text/Settings.h"
#include "text/UnicodeConversion.h"
#include "text/UserErrorDescriptionType.h"

#include <nlohmann/json.hpp>

#include <unistd.h>

#include <unicode/uclean.h>
#include <unicode/utf8.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <variant>

namespace quillet {
namespace {

/// Ends the process when an allocation fails, saying why, before anything else happens: the
/// unwinding a failure would start frees what was built, and some destructors allocate as they
/// go (a JSON document keeps a stack of the values it has still to free), which would end in an
/// abort; and code that catches errors could take the failure for something else (a library
/// "that cannot be read", a pattern "that does not parse", so that another expander answers).
/// Nothing is lost: the result is written only at the end, and the library and the cache are
/// replaced whole or not at all.
[[noreturn]] void endForWantOfMemory() noexcept
{
    constexpr std::string_view message = "quillet: out of memory\n";
    [[maybe_unused]] const auto written = ::write(STDERR_FILENO, message.data(), message.size());
    ::_exit(exitstatus::failed);
}

// ICU reports a failed allocation as an error code, which its callers may take for some other
// failure: it ends the process as well.
void* U_CALLCONV icuAllocate(const void*, size_t size)
{
    void* block = std::malloc(size);
    if (!block && size > 0)
        endForWantOfMemory();
    return block;
}

void* U_CALLCONV icuReallocate(const void*, void* block, size_t size)
{
    void* moved = std::realloc(block, size);
    if (!moved && size > 0)
        endForWantOfMemory();
    return moved;
}

void U_CALLCONV icuFree(const void*, void* block)
{
    std::free(block);
}

constexpr const char* usageText = "usage: quillet expand [--extension EXT] [--record] [--] [TEXT | -]\n"
                                  "       quillet expand --help\n"
                                  "       quillet action expand|show-editor|toggle-browser\n"
                                  "\n"
                                  "Expands the abbreviation at the end of TEXT (or of standard input) with the\n"
                                  "expanders of the user's library and prints the result as JSON.\n"
                                  "\n"
                                  "  --extension EXT  file name extension of the edited file (swift, py, …);\n"
                                  "                   expanders of its languages are preferred\n"
                                  "  --record         print {\"text\", \"cursor_position\"} instead of\n"
                                  "                   {\"text\", \"cursorPosition\"}\n"
                                  "  --               ends the options: a TEXT that begins with \"-\" follows it\n"
                                  "  -h, --help       print this help\n"
                                  "\n"
                                  "quillet action runs a global shortcut's action in the desktop application\n"
                                  "(starting it when it does not run), for a desktop's own keyboard shortcuts.\n"
                                  "\n"
                                  "Exit status: 0 expanded, 1 no expander applies, 2 the expansion or the\n"
                                  "program failed, 3 the library cannot be loaded, 64 bad usage, 65 the text\n"
                                  "is not valid UTF-8.\n";

struct ExpandRequest {
    std::optional<std::string> text; // absent: read standard input
    std::optional<std::string> fileExtension;
    bool record = false;
    bool help = false;
};

/// What was wrong with the command line.
struct UsageError {
    std::string message;
};

/// Parses the words after "expand".
std::variant<ExpandRequest, UsageError> parseExpandArguments(const std::vector<std::string>& words)
{
    ExpandRequest request;
    bool optionsEnded = false;
    bool textGiven = false; // TEXT or "-"
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        const bool isOption = !optionsEnded && word.size() > 1 && word[0] == '-';
        if (isOption && word == "--") {
            optionsEnded = true;
        } else if (isOption && (word == "--help" || word == "-h")) {
            request.help = true;
        } else if (isOption && word == "--record") {
            request.record = true;
        } else if (isOption && (word == "--extension" || word.rfind("--extension=", 0) == 0)) {
            std::string value;
            if (word == "--extension") {
                if (i + 1 >= words.size())
                    return UsageError { "--extension needs a value" };
                value = words[++i];
            } else {
                value = word.substr(std::string("--extension=").size());
            }
            if (value.empty())
                return UsageError { "--extension needs a value" };
            request.fileExtension = std::move(value);
        } else if (isOption) {
            return UsageError { "unknown option " + word };
        } else if (textGiven) {
            return UsageError { "more than one text given: " + word };
        } else {
            textGiven = true;
            if (word != "-" || optionsEnded)
                request.text = word;
        }
    }
    return request;
}

/// Thrown when standard input cannot be read; the message says why.
class InputError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Reads all of standard input and drops one line end ("\n" or "\r\n").
std::string readInput(std::istream& input)
{
    if (!input.rdbuf())
        throw InputError("standard input is closed");
    std::string text;
    try {
        // The stream buffer reports a failing read (a folder as input, a closed descriptor)
        // by throwing; the stream turns that into its bad state unless asked to pass it on.
        input.exceptions(std::ios::badbit);
        char buffer[65536];
        while (input.read(buffer, sizeof buffer) || input.gcount() > 0)
            text.append(buffer, static_cast<std::size_t>(input.gcount()));
    } catch (const std::ios_base::failure& error) {
        throw InputError("standard input could not be read: " + error.code().message());
    }
    if (text.ends_with("\r\n"))
        text.resize(text.size() - 2);
    else if (text.ends_with('\n'))
        text.pop_back();
    return text;
}

/// The byte offset of the first ill-formed UTF-8 sequence (overlong forms and encoded
/// surrogates included), or none.
std::optional<std::size_t> invalidUtf8Offset(std::string_view bytes)
{
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    const int64_t length = static_cast<int64_t>(bytes.size());
    for (int64_t index = 0; index < length;) {
        const int64_t start = index;
        UChar32 character;
        U8_NEXT(data, index, length, character);
        if (character < 0)
            return static_cast<std::size_t>(start);
    }
    return std::nullopt;
}

/// Writes all of the text and checks that it arrived: a full disk or a closed standard output
/// must not pass for success. Prints why on the error stream and returns false otherwise.
bool writeOutput(std::ostream& output, std::string_view text, std::ostream& errors)
{
    if (!output.rdbuf()) {
        errors << "quillet: the result could not be written: standard output is closed\n";
        return false;
    }
    errno = 0;
    output.write(text.data(), static_cast<std::streamsize>(text.size()));
    output.flush();
    if (output)
        return true;
    const int reason = errno;
    errors << "quillet: the result could not be written to standard output";
    if (reason != 0)
        errors << ": " << std::strerror(reason);
    errors << '\n';
    return false;
}

/// Prints what the desktop would show in an alert: the title, then the description
/// (with its "Expander: " paragraph when the error names one).
void printAlert(const Alert& alert, std::ostream& errors)
{
    errors << toUtf8(alert.messageText) << '\n';
    if (!alert.informativeText.isEmpty())
        errors << toUtf8(alert.informativeText) << '\n';
}

/// The library's alerts and notifications (a failed load, a failed save) go to standard error.
class StreamAlerts final : public UserAlerts, public UserNotifications {
public:
    explicit StreamAlerts(std::ostream& errors)
        : m_errors(errors)
    {
    }
    void runModal(const Alert& alert) override { printAlert(alert, m_errors); }
    void deliverNotification(const UserErrorDescriptionType& error) override
    {
        printAlert(Alert::fromError(error), m_errors);
    }
    void scheduleBundleImportedNotification(const Bundle&) override { }

private:
    std::ostream& m_errors;
};

int runExpand(const ExpandRequest& request, std::istream& input, std::ostream& output, std::ostream& errors)
{
    const std::string bytes = request.text ? *request.text : readInput(input);
    // The printed text replaces the user's own: bytes that are not UTF-8 would come back as
    // U+FFFD, so they are refused rather than changed.
    if (const auto offset = invalidUtf8Offset(bytes)) {
        errors << "quillet: the text is not valid UTF-8 (byte " << *offset + 1 << " of " << bytes.size()
               << "); nothing was expanded\n";
        return exitstatus::invalidText;
    }
    const icu::UnicodeString text = fromUtf8(bytes);
    std::optional<icu::UnicodeString> fileExtension;
    if (request.fileExtension)
        fileExtension = fromUtf8(*request.fileExtension);

    auto settings = std::make_shared<InMemorySettings>();
    registerPlainDefaults(*settings);
    if (const auto settingsFile = settingsfile::path())
        settingsfile::apply(*settingsFile, *settings);
    Settings::setShared(settings);

    // A library that cannot be loaded is reported by its alert and never written.
    auto console = std::make_shared<StreamAlerts>(errors);
    auto environment = App::Environment::headless();
    environment.alerts = console;
    environment.notifications = console;
    App::configureShared(std::move(environment));
    if (!App::shared().isLoaded())
        return exitstatus::libraryUnusable;

    std::optional<ExpandedExpression> expression;
    try {
        ExpandingController controller;
        // Each run would otherwise parse every pattern of the library before it can match one.
        if (const auto& cacheFolder = Paths::cachePath())
            controller.setPrefilterCache(std::make_shared<PrefilterCache>(*cacheFolder));
        expression = controller.expand(text, fileExtension);
    } catch (const UserErrorDescriptionType& error) {
        printAlert(Alert::fromError(error), errors);
        return exitstatus::expansionFailed;
    }
    if (!expression)
        return exitstatus::nothingToExpand;

    // Scripts place the caret in the editor's own text, which counts UTF-16 code units.
    nlohmann::ordered_json result;
    result["text"] = toUtf8(expression->text);
    result[request.record ? "cursor_position" : "cursorPosition"] = expression->cursorCodeUnitOffset();
    if (!writeOutput(output, result.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n", errors))
        return exitstatus::failed;
    return exitstatus::expanded;
}

int usageError(const std::string& message, std::ostream& errors)
{
    errors << "quillet: " << message << '\n' << usageText;
    return exitstatus::usage;
}

int runCommand(
    const std::vector<std::string>& arguments, std::istream& input, std::ostream& output, std::ostream& errors)
{
    if (arguments.empty())
        return usageError("no command given", errors);
    if (arguments[0] == "--help" || arguments[0] == "-h")
        return writeOutput(output, usageText, errors) ? exitstatus::expanded : exitstatus::failed;
    if (arguments[0] != "expand")
        return usageError("unknown command " + arguments[0], errors);
    const auto parsed = parseExpandArguments({ arguments.begin() + 1, arguments.end() });
    if (const auto* error = std::get_if<UsageError>(&parsed))
        return usageError(error->message, errors);
    const auto& request = std::get<ExpandRequest>(parsed);
    if (request.help)
        return writeOutput(output, usageText, errors) ? exitstatus::expanded : exitstatus::failed;
    return runExpand(request, input, output, errors);
}

} // namespace

int runCommandLine(
    const std::vector<std::string>& arguments, std::istream& input, std::ostream& output, std::ostream& errors)
{
    // Whatever goes wrong below (unreadable input, memory, ICU, the digest provider) ends as
    // a message and an exit status, never as an abort.
    try {
        return runCommand(arguments, input, output, errors);
    } catch (const std::bad_alloc&) {
        errors << "quillet: out of memory\n";
    } catch (const UserErrorDescriptionType& error) {
        printAlert(Alert::fromError(error), errors);
    } catch (const std::exception& error) {
        errors << "quillet: " << error.what() << '\n';
    } catch (...) {
        errors << "quillet: unknown error\n";
    }
    return exitstatus::failed;
}

void endRunsThatRunOutOfMemory()
{
    std::set_new_handler(&endForWantOfMemory);
    // Refused once ICU has allocated; nothing has before main.
    UErrorCode status = U_ZERO_ERROR;
    u_setMemoryFunctions(nullptr, &icuAllocate, &icuReallocate, &icuFree, &status);
}

} // namespace quillet
