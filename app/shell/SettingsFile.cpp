#include "shell/SettingsFile.h"

#include "shell/UserDefaultsKey.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <istream>

namespace quillet::settingsfile {
namespace {

std::string trimmed(const std::string& text)
{
    const auto isBlank = [](unsigned char c) { return c == ' ' || c == '\t' || c == '\r'; };
    auto begin = std::find_if_not(text.begin(), text.end(), isBlank);
    auto end = std::find_if_not(text.rbegin(), std::string::const_reverse_iterator(begin), isBlank).base();
    return std::string(begin, end);
}

/// A value as the settings writer stores it: plain, or in double quotes with backslash escapes.
std::string unquoted(const std::string& value)
{
    if (value.size() < 2 || value.front() != '"' || value.back() != '"')
        return value;
    std::string result;
    for (std::size_t i = 1; i + 1 < value.size(); ++i) {
        char c = value[i];
        if (c == '\\' && i + 2 < value.size()) {
            c = value[++i];
            if (c == 'n')
                c = '\n';
            else if (c == 't')
                c = '\t';
        }
        result += c;
    }
    return result;
}

std::optional<bool> boolValue(const std::string& text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    if (lower == "true" || lower == "1")
        return true;
    if (lower == "false" || lower == "0")
        return false;
    return std::nullopt;
}

std::optional<long long> integerValue(const std::string& text)
{
    long long value = 0;
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (begin != end && *begin == '+')
        ++begin;
    const auto [next, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || next != end || begin == end)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<std::filesystem::path> path(const Paths::Environment& environment)
{
    std::filesystem::path folder;
    if (auto config = environment("XDG_CONFIG_HOME"); config && std::filesystem::path(*config).is_absolute()) {
        folder = *config;
    } else if (auto home = environment("HOME"); home && !home->empty()) {
        folder = std::filesystem::path(*home) / ".config";
    } else {
        return std::nullopt;
    }
    return folder / "orvanta" / "Quillet.ini";
}

std::optional<std::filesystem::path> path()
{
    return path([](const char* name) -> std::optional<std::string> {
        if (const char* value = std::getenv(name))
            return std::string(value);
        return std::nullopt;
    });
}

std::map<std::string, std::string> readGeneralSection(std::istream& input)
{
    std::map<std::string, std::string> entries;
    bool inGeneral = true;
    std::string line;
    while (std::getline(input, line)) {
        line = trimmed(line);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[') {
            inGeneral = line == "[General]";
            continue;
        }
        const auto equals = line.find('=');
        if (!inGeneral || equals == std::string::npos)
            continue;
        const std::string key = trimmed(line.substr(0, equals));
        if (!key.empty())
            entries[key] = unquoted(trimmed(line.substr(equals + 1)));
    }
    return entries;
}

void apply(const std::filesystem::path& file, InMemorySettings& settings)
{
    std::ifstream input(file);
    if (!input)
        return;
    const auto entries = readGeneralSection(input);
    const auto find = [&](UserDefaultsKey key) -> const std::string* {
        const auto found = entries.find(rawValue(key));
        return found == entries.end() ? nullptr : &found->second;
    };
    if (const auto* text = find(UserDefaultsKey::IndentWithSpaces))
        if (const auto value = boolValue(*text))
            settings.set(rawValue(UserDefaultsKey::IndentWithSpaces), *value);
    for (const auto key : { UserDefaultsKey::IndentSize, UserDefaultsKey::MaximumCharactersInLine })
        if (const auto* text = find(key))
            if (const auto value = integerValue(*text))
                settings.set(rawValue(key), *value);
}

} // namespace quillet::settingsfile
