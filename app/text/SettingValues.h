#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace quillet {

/// The one rule by which the application and the command line read a stored setting's text,
/// so both compute the same indentation from the same file.
///
/// A Boolean is "true" or "false" (any case), or "1" or "0". An integer is decimal digits with
/// an optional sign, nothing around them, within the key's range ("IndentSize" 1 to 16, as the
/// preferences offer; "MaximumCharactersInLine" 1 to 100,000). Anything else, spaces and
/// serialised variants included, is not a value: the reader falls back to the registered
/// default, as if the key were not stored.
namespace settingvalues {

using Value = std::variant<bool, long long>;

std::optional<bool> parseBool(std::string_view text);
std::optional<long long> parseInteger(std::string_view text);

/// The value of the text for the key, judged by the key's type and range; none when the text
/// is no valid value for it, or when the key is not one whose type is known here.
std::optional<Value> parse(std::string_view key, std::string_view text);

/// Whether the key is one this rule knows the type of.
bool hasRule(std::string_view key);

/// Whether a value already typed (set in this process) is valid for the key.
bool isValid(std::string_view key, const Value& value);

/// The whole content of a settings file, or none when nothing readable is there. Only a
/// regular file is read, opened without blocking (a pipe or a device in its place would
/// hang the reader) and only up to a settings file's sane size.
std::optional<std::string> readSettingsFile(const std::filesystem::path& path);

/// Whether the path names nothing or a regular file (following links): what may be read
/// and written as a settings file without blocking.
bool isUsableSettingsPath(const std::filesystem::path& path);

} // namespace settingvalues
} // namespace quillet
