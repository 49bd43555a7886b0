#include "front/SettingsFile.h"

#include "front/UserDefaultsKey.h"
#include "text/SettingValues.h"

#include <cstdlib>

namespace quillet::settingsfile {

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

void apply(const std::filesystem::path& file, InMemorySettings& settings)
{
    const auto content = settingvalues::readSettingsFile(file);
    if (!content)
        return;
    const auto values = settingvalues::storedValues(*content);
    for (const auto key :
        { UserDefaultsKey::IndentWithSpaces, UserDefaultsKey::IndentSize, UserDefaultsKey::MaximumCharactersInLine }) {
        if (const auto found = values.find(rawValue(key)); found != values.end())
            settings.set(rawValue(key), found->second);
    }
}

} // namespace quillet::settingsfile
