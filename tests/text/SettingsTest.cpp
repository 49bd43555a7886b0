#include "text/Settings.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

TEST(InMemorySettings, SetValuesWinOverRegisteredDefaultsAndRemovingRestoresTheDefault)
{
    InMemorySettings settings;
    settings.registerDefaults({ { "IndentSize", 4LL }, { "IndentWithSpaces", true } });
    EXPECT_EQ(settings.integerForKey("IndentSize"), 4);

    settings.set("IndentSize", 2LL);
    EXPECT_EQ(settings.integerForKey("IndentSize"), 2);

    settings.remove("IndentSize");
    EXPECT_EQ(settings.integerForKey("IndentSize"), 4);
    EXPECT_TRUE(settings.boolForKey("IndentWithSpaces"));
}

TEST(InMemorySettings, UnknownKeysReadAsFalseAndZero)
{
    InMemorySettings settings;
    EXPECT_FALSE(settings.boolValue("Nothing").has_value());
    EXPECT_FALSE(settings.boolForKey("Nothing"));
    EXPECT_EQ(settings.integerForKey("Nothing"), 0);
}

} // namespace
} // namespace quillet
