#include "shell/CommandLine.h"

#include "library/Alert.h"
#include "library/App.h"
#include "library/UserAlerts.h"
#include "library/UserErrorDescriptionType.h"
#include "library/UserNotifications.h"
#include "shell/ExpandingController.h"
#include "shell/SettingsFile.h"
#include "shell/UserDefaultsKey.h"
#include "text/Settings.h"
#include "text/UnicodeConversion.h"

#include <nlohmann/json.hpp>

#include <iostream>
#include <iterator>
#include <memory>
#include <optional>

namespace quillet {
namespace {

constexpr const char* usageText =
    "usage: quillet expand [--extension EXT] [--record] [TEXT | -]\n"
    "\n"
    "Expands the abbreviation at the end of TEXT (or of standard input) with the\n"
    "expanders of the user's library and prints the result as JSON.\n"
    "\n"
    "  --extension EXT  file name extension of the edited file (swift, py, …);\n"
    "                   expanders of its languages are preferred\n"
    "  --record         print {\"text\", \"cursor_position\"} instead of\n"
    "                   {\"text\", \"cursorPosition\"}\n"
    "\n"
    "Exit status: 0 expanded, 1 no expander applies, 2 the expansion failed,\n"
    "3 the library cannot be loaded, 64 bad usage.\n";

struct ExpandRequest {
    std::optional<std::string> text; // absent: read standard input
    std::optional<std::string> fileExtension;
    bool record = false;
};

/// Parses the words after "expand"; nothing on a usage error.
std::optional<ExpandRequest> parseExpandArguments(const std::vector<std::string>& words)
{
    ExpandRequest request;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (!optionsEnded && word == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && word == "--record") {
            request.record = true;
        } else if (!optionsEnded && word == "--extension") {
            if (i + 1 >= words.size())
                return std::nullopt;
            request.fileExtension = words[++i];
        } else if (!optionsEnded && word.rfind("--extension=", 0) == 0) {
            request.fileExtension = word.substr(std::string("--extension=").size());
        } else if (!optionsEnded && word.size() > 1 && word[0] == '-') {
            return std::nullopt;
        } else if (request.text) {
            return std::nullopt;
        } else if (word != "-" || optionsEnded) {
            request.text = word;
        } else {
            request.text.reset();
        }
    }
    return request;
}

std::string readInput(std::istream& input)
{
    std::string text{std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>()};
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
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
    void scheduleBundleImportedNotification(const Bundle&) override {}

private:
    std::ostream& m_errors;
};

int runExpand(const ExpandRequest& request, std::istream& input, std::ostream& output, std::ostream& errors)
{
    const icu::UnicodeString text = fromUtf8(request.text ? *request.text : readInput(input));
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
    output << result.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    return exitstatus::expanded;
}

} // namespace

int runCommandLine(const std::vector<std::string>& arguments, std::istream& input, std::ostream& output,
                   std::ostream& errors)
{
    if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
        output << usageText;
        return exitstatus::expanded;
    }
    if (arguments.empty() || arguments[0] != "expand") {
        errors << usageText;
        return exitstatus::usage;
    }
    const auto request = parseExpandArguments({arguments.begin() + 1, arguments.end()});
    if (!request) {
        errors << usageText;
        return exitstatus::usage;
    }
    return runExpand(*request, input, output, errors);
}

} // namespace quillet
