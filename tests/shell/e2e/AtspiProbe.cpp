// Reads the focused text element of the desktop over AT-SPI for the end-to-end tests, the
// way Quillet sees it (UTF-16 caret offsets):
//
//   quillet-e2e-probe read
//       prints {"title": …, "text": …, "caret": N}
//   quillet-e2e-probe expect JSON [TIMEOUT_MS]
//       waits until the focused element holds JSON's "text" (and, when given, its caret
//       "cursorPosition" and a title containing "title"); prints what it read last on failure
//   quillet-e2e-probe measure JSON [TIMEOUT_MS]
//       presses Ctrl+Alt+E through XTest and prints the milliseconds until the expectation holds
#include "shell/AtspiAccessibility.h"
#include "text/UnicodeConversion.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <iostream>
#include <optional>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

struct Reading {
    std::string title;
    std::string text;
    int caret = -1;
    std::string error;

    nlohmann::json json() const
    {
        nlohmann::json result { { "title", title }, { "text", text }, { "caret", caret } };
        if (!error.empty())
            result["error"] = error;
        return result;
    }
};

Reading readFocus(quillet::AccessibilityBackend& backend)
{
    Reading reading;
    try {
        auto element = backend.focusedElement();
        try {
            reading.title = quillet::toUtf8(element->topLevelElement()->title());
        } catch (const std::exception&) {
        }
        reading.text = quillet::toUtf8(element->value());
        reading.caret = element->selectedRange().location;
    } catch (const std::exception& error) {
        reading.error = error.what();
    }
    return reading;
}

bool matches(const Reading& reading, const nlohmann::json& expected)
{
    if (!reading.error.empty() || reading.text != expected.at("text").get<std::string>())
        return false;
    if (expected.contains("cursorPosition") && reading.caret != expected.at("cursorPosition").get<int>())
        return false;
    if (expected.contains("title") && reading.title.find(expected.at("title").get<std::string>()) == std::string::npos)
        return false;
    return true;
}

/// Polls until the expectation holds; the last reading and whether it held.
std::pair<Reading, bool> await(
    quillet::AccessibilityBackend& backend, const nlohmann::json& expected, int timeoutMs, bool busy)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    Reading reading;
    while (true) {
        reading = readFocus(backend);
        if (matches(reading, expected))
            return { reading, true };
        if (Clock::now() > deadline)
            return { reading, false };
        // Measuring polls often, but leaves the editor time to work.
        std::this_thread::sleep_for(std::chrono::milliseconds(busy ? 1 : 20));
    }
}

/// Presses the shortcut; the moment of the first key event.
std::optional<Clock::time_point> pressExpandShortcut()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return std::nullopt;
    const KeyCode control = XKeysymToKeycode(display, XK_Control_L);
    const KeyCode alt = XKeysymToKeycode(display, XK_Alt_L);
    const KeyCode e = XKeysymToKeycode(display, XK_e);
    const auto pressed = Clock::now();
    XTestFakeKeyEvent(display, control, True, 0);
    XTestFakeKeyEvent(display, alt, True, 0);
    XTestFakeKeyEvent(display, e, True, 0);
    XTestFakeKeyEvent(display, e, False, 0);
    XTestFakeKeyEvent(display, alt, False, 0);
    XTestFakeKeyEvent(display, control, False, 0);
    XSync(display, False);
    XCloseDisplay(display);
    return pressed;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "read";
    // The probe polls by itself: no waiting inside a lookup.
    quillet::AtspiAccessibilityBackend backend({}, 0);
    if (command == "read") {
        std::cout << readFocus(backend).json().dump() << '\n';
        return 0;
    }
    if ((command == "expect" || command == "measure") && argc > 2) {
        const nlohmann::json expected = nlohmann::json::parse(argv[2]);
        const int timeoutMs = argc > 3 ? std::stoi(argv[3]) : 10000;
        auto start = Clock::now();
        if (command == "measure") {
            const auto pressed = pressExpandShortcut();
            if (!pressed) {
                std::cerr << "no X display\n";
                return 2;
            }
            start = *pressed;
        }
        const auto [reading, held] = await(backend, expected, timeoutMs, command == "measure");
        const double elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (!held) {
            std::cerr << "expected " << expected.dump() << "\n    read " << reading.json().dump() << '\n';
            return 1;
        }
        if (command == "measure")
            std::cout << elapsed << '\n';
        return 0;
    }
    std::cerr << "usage: quillet-e2e-probe read | expect JSON [TIMEOUT_MS] | measure JSON [TIMEOUT_MS]\n";
    return 64;
}
