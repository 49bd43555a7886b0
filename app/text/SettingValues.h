#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace quillet {

/// The one rule by which the application and the command line read a stored setting's text,
/// so both compute the same indentation from the same file.
///
/// A Boolean is "true" or "false" (any case), or "1" or "0". An integer is decimal digits with
/// an optional sign, nothing around them, within the key's range ("IndentSize" any size: 0 or
/// less means no indentation; "MaximumCharactersInLine" 1 to 100,000). In the settings file a
/// value may also stand in double quotes or in the settings writer's typed form
/// ("@Variant(…)" holding a Boolean, an integer or a text), which is read for what it holds; a
/// typed value counts only when its type is the key's. Anything else is not a value: the
/// reader falls back to the registered default, as if the key were not stored.
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

/// The value of one entry of the settings file, its text as it stands after the "=" (quotes,
/// escapes and typed forms included); none when it is no valid value for the key.
std::optional<Value> parseStored(std::string_view key, std::string_view storedText);

/// The valid values of the keys this rule knows, from the whole text of a settings file: the
/// entries of its general section (entries before any section count too; a later entry of a
/// key wins). Entries without a valid value are left out.
std::map<std::string, Value> storedValues(std::string_view fileContent);

/// The whole content of a settings file, or none when nothing readable is there. Only a
/// regular file is read, opened without blocking (a pipe or a device in its place would
/// hang the reader) and only up to a settings file's sane size.
std::optional<std::string> readSettingsFile(const std::filesystem::path& path);

/// Whether the path names nothing or a regular file (following links): what may be read
/// and written as a settings file without blocking.
bool isUsableSettingsPath(const std::filesystem::path& path);

} // namespace settingvalues
} // namespace quillet
