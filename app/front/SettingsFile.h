#pragma once

#include "library/Paths.h"
#include "text/Settings.h"

#include <filesystem>
#include <optional>
#include <string>

namespace quillet {

/// The desktop application's settings file, read without the desktop: the command line
/// takes the indentation the user chose in the application from it.
///
/// The file is the application's INI file, "$XDG_CONFIG_HOME/orvanta/Quillet.ini"
/// (XDG_CONFIG_HOME defaults to ~/.config; a relative value is ignored).
namespace settingsfile {

/// The file's path, or none without a configuration folder.
std::optional<std::filesystem::path> path(const Paths::Environment& environment);
/// The path for the process's environment.
std::optional<std::filesystem::path> path();

/// Sets the indentation keys ("IndentWithSpaces", "IndentSize", "MaximumCharactersInLine")
/// that the file holds with a valid value (settingvalues::storedValues, the reader the
/// application uses too); the others keep their defaults. A missing or unreadable file, or anything but a regular
/// file, changes nothing and never blocks.
void apply(const std::filesystem::path& file, InMemorySettings& settings);

} // namespace settingsfile
} // namespace quillet
