#include "front/SettingsFile.h"

#include "front/UserDefaultsKey.h"
#include "text/SettingValues.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <istream>
#include <sstream>
#include <variant>

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
    const auto content = settingvalues::readSettingsFile(file);
    if (!content)
        return;
    std::istringstream input(*content);
    const auto entries = readGeneralSection(input);
    for (const auto key :
        { UserDefaultsKey::IndentWithSpaces, UserDefaultsKey::IndentSize, UserDefaultsKey::MaximumCharactersInLine }) {
        const auto found = entries.find(rawValue(key));
        if (found == entries.end())
            continue;
        if (const auto value = settingvalues::parse(rawValue(key), found->second))
            std::visit([&](auto typed) { settings.set(rawValue(key), typed); }, *value);
    }
}

} // namespace quillet::settingsfile
