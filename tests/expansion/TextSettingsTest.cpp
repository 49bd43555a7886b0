#include "expansion/TextSettings.h"

#include "support/TestSupport.h"
#include "text/Settings.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

/// Settings that count how often the core asks them to pick up outside changes.
class CountingSettings final : public Settings {
public:
    InMemorySettings values;
    mutable int synchronizations = 0;

    std::optional<bool> boolValue(const std::string& key) const override { return values.boolValue(key); }
    std::optional<long long> integerValue(const std::string& key) const override { return values.integerValue(key); }
    void synchronize() override { ++synchronizations; }
};

class TextSettingsTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_settings = std::make_shared<CountingSettings>();
        Settings::setShared(m_settings);
    }
    void TearDown() override { Settings::setShared(nullptr); }

    CountingSettings& settings() { return *m_settings; }

private:
    std::shared_ptr<CountingSettings> m_settings;
};

TEST_F(TextSettingsTest, IndentStringIsIndentSizeSpacesWhenIndentingWithSpaces)
{
    settings().values.set(TextSettings::indentWithSpacesKey, true);
    for (long long size : { 0LL, 2LL, 4LL }) {
        settings().values.set(TextSettings::indentSizeKey, size);
        EXPECT_EQ(TextSettings::indentString(),
            icu::UnicodeString(static_cast<int32_t>(size), U' ', static_cast<int32_t>(size)));
    }
    settings().values.set(TextSettings::indentSizeKey, -3LL);
    EXPECT_EQ(TextSettings::indentString(), u"");
}

TEST_F(TextSettingsTest, AnAbsurdIndentSizeIsCappedInsteadOfExhaustingMemory)
{
    settings().values.set(TextSettings::indentWithSpacesKey, true);
    settings().values.set(TextSettings::indentSizeKey, 1'000'000'000'000LL);
    EXPECT_EQ(TextSettings::indentString().length(), 256);
}

TEST_F(TextSettingsTest, IndentStringIsATabWhenNotIndentingWithSpaces)
{
    settings().values.set(TextSettings::indentWithSpacesKey, false);
    settings().values.set(TextSettings::indentSizeKey, 4LL);
    EXPECT_EQ(TextSettings::indentString(), u"\t");
    EXPECT_TRUE(TextSettings::indentsWithTabs());
}

TEST_F(TextSettingsTest, UnsetKeysReadFalseAndZeroAndRegisteredDefaultsApply)
{
    EXPECT_EQ(TextSettings::indentString(), u"\t");
    EXPECT_EQ(TextSettings::indentSize(), 0);
    EXPECT_EQ(TextSettings::maximumCharactersInLine(), 0);

    settings().values.registerDefaults(
        { { "IndentWithSpaces", true }, { "IndentSize", 4LL }, { "MaximumCharactersInLine", 80LL } });
    EXPECT_EQ(TextSettings::indentString(), u"    ");
    EXPECT_FALSE(TextSettings::indentsWithTabs());
    EXPECT_EQ(TextSettings::indentSize(), 4);
    EXPECT_EQ(TextSettings::maximumCharactersInLine(), 80);
}

TEST_F(TextSettingsTest, EveryReadSynchronizesFirstAndSeesTheCurrentValue)
{
    settings().values.set(TextSettings::indentSizeKey, 2LL);
    EXPECT_EQ(TextSettings::indentSize(), 2);
    settings().values.set(TextSettings::indentSizeKey, 8LL);
    EXPECT_EQ(TextSettings::indentSize(), 8);
    EXPECT_EQ(settings().synchronizations, 2);
    TextSettings::maximumCharactersInLine();
    EXPECT_EQ(settings().synchronizations, 3);
}

} // namespace
} // namespace quillet
