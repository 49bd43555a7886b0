#include "front/UserDefaultsKey.h"

#include <array>
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

void registerPlainDefaults(InMemorySettings& settings)
{
    settings.registerDefaults({
        { rawValue(UserDefaultsKey::IndentWithSpaces), true },
        { rawValue(UserDefaultsKey::IndentSize), 4LL },
        { rawValue(UserDefaultsKey::MaximumCharactersInLine), 80LL },
        { rawValue(UserDefaultsKey::EnableSounds), true },
        { rawValue(UserDefaultsKey::EnableErrorSound), true },
        { rawValue(UserDefaultsKey::MainWindowVisibleOnStart), true },
        { rawValue(UserDefaultsKey::DidOpenIntro), false },
    });
}

} // namespace quillet
