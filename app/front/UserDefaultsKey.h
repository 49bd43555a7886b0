#pragma once

#include "text/Settings.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillet {

/// The application's settings keys. The stored key is rawValue(); every key's raw string
/// equals its name except ShowExpandersShortcut, stored as "ShowExpandersShortcuts".
enum class UserDefaultsKey {
    ExpandTextShortcut,
    ShowExpandersShortcut,
    ShowExpanderBrowserShortcut,
    IndentWithSpaces,
    IndentSize,
    MaximumCharactersInLine,
    StartApplicationAutomatically,
    EnableSounds,
    EnableErrorSound,
    MainWindowVisibleOnStart,
    DidOpenIntro,
};

const std::string& rawValue(UserDefaultsKey key);
/// The key whose raw string is exactly the given one (case-sensitive), or none.
std::optional<UserDefaultsKey> userDefaultsKey(std::string_view rawValue);

/// The defaults of the plain (Boolean and integer) keys, for the command line and the desktop
/// application alike: IndentWithSpaces true, IndentSize 4, MaximumCharactersInLine 80,
/// EnableSounds and EnableErrorSound true, MainWindowVisibleOnStart true, DidOpenIntro false.
/// StartApplicationAutomatically has none. The desktop application adds the shortcut defaults
/// with its shortcut layer.
const std::vector<std::pair<UserDefaultsKey, InMemorySettings::Value>>& plainDefaults();

/// Registers plainDefaults().
void registerPlainDefaults(InMemorySettings& settings);

} // namespace quillet
