#include "library/Bundle.h"
#include "languages/ProgrammingLanguageStore.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

struct CountingBundleDelegate final : BundleDelegate {
    void bundleDidChange(Bundle&) override { ++changes; }
    int changes = 0;
};

const char* expanderJSON = R"({"name": "E", "pattern": "e", "output_template": "E", "supported_languages": ["any"]})";

JSONDictionary bundleObject(const std::string& json)
{
    return JSONDictionary::parse(json);
}

TEST(Bundle, NewBundleHasTheDefaults)
{
    Bundle bundle;
    EXPECT_EQ(bundle.name(), u16(u"New Bundle"));
    EXPECT_TRUE(bundle.bundleDescription().isEmpty());
    EXPECT_TRUE(bundle.expanders().empty());
    EXPECT_TRUE(bundle.isEnabled());
    EXPECT_EQ(bundle.supportedLanguagesString(), u16(u"Any Language"));
}

TEST(Bundle, MinimalObjectReadsWithDefaultsAndWritesAllFiveKeys)
{
    Bundle bundle(bundleObject(R"({"name": "Mine", "expanders": [], "unknown": {"x": 1}})"));
    EXPECT_EQ(bundle.name(), u16(u"Mine"));
    EXPECT_TRUE(bundle.isEnabled());
    EXPECT_EQ(bundle.supportedLanguagesString(), u16(u"Any Language"));
    EXPECT_EQ(bundle.dictionary(), bundleObject(R"({"name": "Mine", "description": "", "is_enabled": true,
        "supported_languages": ["any"], "expanders": []})"));
}

TEST(Bundle, SupportedLanguagesReadAsStoredAndFallBackToAny)
{
    struct Case {
        const char* name;
        const char* languages;
        const char16_t* shown;
        const char* written;
    };
    const Case cases[] = {
        { "empty list", R"([])", u"", R"([])" },
        { "unknown id kept", R"(["c", "cobol"])", u"C", R"(["c", "cobol"])" },
        { "two known", R"(["c", "php"])", u"C, PHP", R"(["c", "php"])" },
        { "a number among ids", R"(["c", 3])", u"Any Language", R"(["any"])" },
        { "not an array", R"("c")", u"Any Language", R"(["any"])" },
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        Bundle bundle(bundleObject(
            std::string(R"({"name": "B", "expanders": [], "supported_languages": )") + testCase.languages + "}"));
        EXPECT_EQ(bundle.supportedLanguagesString(), u16(testCase.shown));
        EXPECT_EQ(bundle.dictionary()["supported_languages"], JSONDictionary::parse(testCase.written));
    }
}

TEST(Bundle, OptionalKeysOfTheWrongTypeDefault)
{
    Bundle bundle(bundleObject(R"({"name": "B", "expanders": [], "is_enabled": "no", "description": 4})"));
    EXPECT_TRUE(bundle.isEnabled());
    EXPECT_TRUE(bundle.bundleDescription().isEmpty());
}

TEST(Bundle, MissingRequiredKeysOrABadExpanderFailTheBundle)
{
    EXPECT_THROW(Bundle(bundleObject(R"({"expanders": []})")), DictionaryError);
    EXPECT_THROW(Bundle(bundleObject(R"({"name": "B"})")), DictionaryError);
    EXPECT_THROW(Bundle(bundleObject(R"({"name": "B", "expanders": {}})")), DictionaryError);
    EXPECT_THROW(Bundle(bundleObject(
                     std::string(R"({"name": "B", "expanders": [)") + expanderJSON + R"(, {"name": "broken"}]})")),
        DictionaryError);
}

TEST(Bundle, ExpandersRoundTripInOrderAndReportThroughTheBundle)
{
    Bundle bundle(bundleObject(std::string(R"({"name": "B", "expanders": [)") + expanderJSON + ","
        + R"({"name": "F", "pattern": "f", "output_template": "F", "supported_languages": []}]})"));
    ASSERT_EQ(bundle.expanders().size(), 2u);
    EXPECT_EQ(bundle.expanders()[1]->name(), u16(u"F"));
    EXPECT_EQ(bundle.expanders()[0]->delegate(), &bundle);
    EXPECT_EQ(bundle.dictionary()["expanders"][1]["name"], "F");

    CountingBundleDelegate delegate;
    bundle.setDelegate(&delegate);
    bundle.expanders()[0]->setName(u"renamed");
    EXPECT_EQ(delegate.changes, 1);
}

TEST(Bundle, EveryAssignmentReportsEvenWithTheSameValue)
{
    Bundle bundle;
    CountingBundleDelegate delegate;
    bundle.setDelegate(&delegate);
    bundle.setEnabled(true);
    bundle.setName(bundle.name());
    bundle.setBundleDescription(u"d");
    bundle.setSupportedLanguageContainers({});
    bundle.setExpanders({});
    EXPECT_EQ(delegate.changes, 5);
    EXPECT_TRUE(bundle.supportedLanguagesString().isEmpty());
}

TEST(Bundle, NewExpandersReportThroughTheBundleAndLeavingOnesLetGo)
{
    Bundle bundle;
    CountingBundleDelegate delegate;
    bundle.setDelegate(&delegate);
    auto first = std::make_shared<CustomExpander>();
    auto second = std::make_shared<CustomExpander>();
    bundle.setExpanders({ first, second });
    EXPECT_EQ(delegate.changes, 1);
    second->setName(u"changed");
    EXPECT_EQ(delegate.changes, 2);

    bundle.setExpanders({ first });
    EXPECT_EQ(second->delegate(), nullptr);
    second->setName(u"again"); // no longer part of the bundle
    EXPECT_EQ(delegate.changes, 3);
}

TEST(Bundle, ExpandersOutlivingTheirBundleForgetIt)
{
    auto expander = std::make_shared<CustomExpander>();
    {
        Bundle bundle;
        bundle.setExpanders({ expander });
        EXPECT_EQ(expander->delegate(), &bundle);
    }
    EXPECT_EQ(expander->delegate(), nullptr);
    expander->setName(u"safe"); // would reach a destroyed bundle otherwise
}

TEST(Bundle, NameValidationRefusesBlankNamesAndKeepsOthersAsProposed)
{
    for (const char16_t* blank : { u"", u"  \t " }) {
        auto refused = Bundle::validateName(icu::UnicodeString(blank));
        ASSERT_TRUE(refused.has_value());
        EXPECT_EQ(refused->localizedDescription(), u16(u"Bundle name cannot be empty!"));
    }
    EXPECT_TRUE(Bundle::validateName(std::nullopt).has_value());
    EXPECT_FALSE(Bundle::validateName(u16(u"  Mine  ")).has_value());
}

} // namespace
} // namespace quillet
