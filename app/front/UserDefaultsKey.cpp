#include "front/UserDefaultsKey.h"

#include <array>
#include <map>
#include <utility>

namespace quillet {
namespace {

const std::array<std::pair<UserDefaultsKey, std::string>, 11>& keyTable()
{
    static const std::array<std::pair<UserDefaultsKey, std::string>, 11> table { {
        { UserDefaultsKey::ExpandTextShortcut, "ExpandTextShortcut" },
        { UserDefaultsKey::ShowExpandersShortcut, "ShowExpandersShortcuts" },
        { UserDefaultsKey::ShowExpanderBrowserShortcut, "ShowExpanderBrowserShortcut" },
        { UserDefaultsKey::IndentWithSpaces, "IndentWithSpaces" },
        { UserDefaultsKey::IndentSize, "IndentSize" },
        { UserDefaultsKey::MaximumCharactersInLine, "MaximumCharactersInLine" },
        { UserDefaultsKey::StartApplicationAutomatically, "StartApplicationAutomatically" },
        { UserDefaultsKey::EnableSounds, "EnableSounds" },
        { UserDefaultsKey::EnableErrorSound, "EnableErrorSound" },
        { UserDefaultsKey::MainWindowVisibleOnStart, "MainWindowVisibleOnStart" },
        { UserDefaultsKey::DidOpenIntro, "DidOpenIntro" },
    } };
    return table;
}

} // namespace

const std::string& rawValue(UserDefaultsKey key)
{
    return keyTable()[static_cast<std::size_t>(key)].second;
}

std::optional<UserDefaultsKey> userDefaultsKey(std::string_view raw)
{
    for (const auto& [key, string] : keyTable())
        if (string == raw)
            return key;
    return std::nullopt;
}

const std::vector<std::pair<UserDefaultsKey, InMemorySettings::Value>>& plainDefaults()
{
    static const std::vector<std::pair<UserDefaultsKey, InMemorySettings::Value>> defaults {
        { UserDefaultsKey::IndentWithSpaces, true },
        { UserDefaultsKey::IndentSize, 4LL },
        { UserDefaultsKey::MaximumCharactersInLine, 80LL },
        { UserDefaultsKey::EnableSounds, true },
        { UserDefaultsKey::EnableErrorSound, true },
        { UserDefaultsKey::MainWindowVisibleOnStart, true },
        { UserDefaultsKey::DidOpenIntro, false },
    };
    return defaults;
}

void registerPlainDefaults(InMemorySettings& settings)
{
    std::map<std::string, InMemorySettings::Value> defaults;
    for (const auto& [key, value] : plainDefaults())
        defaults.emplace(rawValue(key), value);
    settings.registerDefaults(defaults);
}

} // namespace quillet
