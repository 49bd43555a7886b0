#include "front/UserDefaultsKey.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

TEST(UserDefaultsKey, TheShowExpandersShortcutIsStoredWithAFinalS)
{
    EXPECT_EQ(rawValue(UserDefaultsKey::ShowExpandersShortcut), "ShowExpandersShortcuts");
    EXPECT_EQ(userDefaultsKey("ShowExpandersShortcuts"), UserDefaultsKey::ShowExpandersShortcut);
    EXPECT_EQ(userDefaultsKey("ShowExpandersShortcut"), std::nullopt);
}

TEST(UserDefaultsKey, RawStringsReadBackToTheirKeyAndOtherCaseGivesNone)
{
    for (int i = 0; i <= static_cast<int>(UserDefaultsKey::DidOpenIntro); ++i) {
        const auto key = static_cast<UserDefaultsKey>(i);
        EXPECT_EQ(userDefaultsKey(rawValue(key)), key) << rawValue(key);
    }
    EXPECT_EQ(userDefaultsKey("indentsize"), std::nullopt);
    EXPECT_EQ(userDefaultsKey(""), std::nullopt);
}

TEST(UserDefaultsKey, RegisteredDefaultsAnswerOnAFirstLaunchAndStoredValuesWin)
{
    InMemorySettings settings;
    registerPlainDefaults(settings);

    EXPECT_TRUE(settings.boolForKey("IndentWithSpaces"));
    EXPECT_TRUE(settings.boolForKey("EnableSounds"));
    EXPECT_TRUE(settings.boolForKey("EnableErrorSound"));
    EXPECT_TRUE(settings.boolForKey("MainWindowVisibleOnStart"));
    EXPECT_FALSE(settings.boolForKey("DidOpenIntro"));
    EXPECT_FALSE(settings.boolValue("StartApplicationAutomatically").has_value());
    EXPECT_EQ(settings.integerForKey("IndentSize"), 4);
    EXPECT_EQ(settings.integerForKey("MaximumCharactersInLine"), 80);

    settings.set("IndentSize", 2LL);
    registerPlainDefaults(settings);
    EXPECT_EQ(settings.integerForKey("IndentSize"), 2);
}

} // namespace
} // namespace quillet
