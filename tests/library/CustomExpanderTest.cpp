#include "library/CustomExpander.h"
#include "languages/ProgrammingLanguageStore.h"
#include "library/ProgrammingLanguageCocoaAdapter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace quillet {
namespace {

using Announcements = std::vector<std::pair<Observable::Phase, Observable::Property>>;

JSONDictionary expanderObject(const char* json)
{
    return JSONDictionary::parse(json);
}

ProgrammingLanguagePtr language(const char16_t* id)
{
    return *ProgrammingLanguageStore::shared().language(id);
}

std::vector<icu::UnicodeString> containerIds(const CustomExpander& expander)
{
    std::vector<icu::UnicodeString> ids;
    for (const auto& container : expander.supportedLanguageContainers())
        ids.push_back(container.identifier);
    return ids;
}

struct CountingDelegate final : CustomExpanderDelegate {
    void customExpanderDidChange(CustomExpander&) override { ++changes; }
    int changes = 0;
};

void recordAnnouncements(CustomExpander& expander, Announcements& heard)
{
    expander.addObserver(
        [&heard](Observable::Property property, Observable::Phase phase) { heard.emplace_back(phase, property); });
}

TEST(CustomExpanderRecord, NewExpanderHasTheDefaults)
{
    auto expander = std::make_shared<CustomExpander>();
    EXPECT_EQ(expander->name(), u16(u"New Expander"));
    EXPECT_TRUE(expander->expanderDescription().isEmpty());
    EXPECT_TRUE(expander->identifier().isEmpty());
    EXPECT_TRUE(expander->pattern().isEmpty());
    EXPECT_TRUE(expander->outputTemplate().isEmpty());
    EXPECT_TRUE(expander->isEnabled());
    EXPECT_EQ(containerIds(*expander), std::vector<icu::UnicodeString> { u16(u"any") });
    EXPECT_EQ(expander->supportedLanguagesString(), u16(u"Any Language"));
    EXPECT_EQ(expander->delegate(), nullptr);
}

TEST(CustomExpanderRecord, OptionalKeysDefaultAndWritingGivesAllSevenKeys)
{
    CustomExpander expander(expanderObject(
        R"({"name": "For", "pattern": "for", "output_template": "for", "supported_languages": [], "extra": 1})"));
    EXPECT_TRUE(expander.expanderDescription().isEmpty());
    EXPECT_TRUE(expander.identifier().isEmpty());
    EXPECT_TRUE(expander.isEnabled());
    EXPECT_TRUE(expander.supportedLanguageContainers().empty());
    EXPECT_TRUE(expander.supportedLanguagesString().isEmpty());
    EXPECT_FALSE(expander.patternErrors().has_value());
    EXPECT_FALSE(expander.errors().has_value());

    const JSONDictionary written = expander.dictionary();
    EXPECT_EQ(written, JSONDictionary::parse(R"({"name": "For", "description": "", "identifier": "",
        "pattern": "for", "output_template": "for", "supported_languages": [], "is_enabled": true})"));
    EXPECT_FALSE(written.contains("extra"));
}

TEST(CustomExpanderRecord, RequiredKeysOfTheWrongTypeFailTheRecordWhileOptionalOnesDefault)
{
    struct Case {
        const char* name;
        const char* json;
        bool fails;
    };
    const Case cases[] = {
        { "name is a number", R"({"name": 1, "pattern": "", "output_template": "", "supported_languages": []})", true },
        { "pattern missing", R"({"name": "a", "output_template": "", "supported_languages": []})", true },
        { "template missing", R"({"name": "a", "pattern": "", "supported_languages": []})", true },
        { "languages a string", R"({"name": "a", "pattern": "", "output_template": "", "supported_languages": "c"})",
            true },
        { "languages missing", R"({"name": "a", "pattern": "", "output_template": ""})", true },
        { "is_enabled a string",
            R"({"name": "a", "pattern": "", "output_template": "", "supported_languages": [], "is_enabled": "no"})",
            false },
        { "description a number",
            R"({"name": "a", "pattern": "", "output_template": "", "supported_languages": [], "description": 2})",
            false },
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        if (testCase.fails) {
            EXPECT_THROW(CustomExpander { expanderObject(testCase.json) }, DictionaryError);
        } else {
            CustomExpander expander(expanderObject(testCase.json));
            EXPECT_TRUE(expander.isEnabled());
            EXPECT_TRUE(expander.expanderDescription().isEmpty());
        }
    }
}

TEST(CustomExpanderRecord, UnknownLanguageIdsAreKeptOnRoundTripAndWhenLanguagesAreSet)
{
    auto expander = std::make_shared<CustomExpander>(expanderObject(
        R"({"name": "a", "pattern": "", "output_template": "", "supported_languages": ["php", "klingon"]})"));
    ASSERT_EQ(expander->supportedLanguages().size(), 1u);
    EXPECT_EQ(expander->supportedLanguages()[0]->id(), u16(u"php"));
    EXPECT_EQ(expander->supportedLanguagesString(), u16(u"PHP"));
    EXPECT_EQ(expander->dictionary()["supported_languages"], JSONDictionary::parse(R"(["php", "klingon"])"));

    expander->setSupportedLanguages({ language(u"php"), language(u"c") });
    EXPECT_EQ(containerIds(*expander), (std::vector<icu::UnicodeString> { u"klingon", u"php", u"c" }));
    EXPECT_EQ(expander->supportedLanguagesString(), u16(u"PHP, C"));
}

TEST(CustomExpanderRecord, EveryAssignmentTellsTheDelegateEvenWithTheSameValue)
{
    auto expander = std::make_shared<CustomExpander>();
    CountingDelegate delegate;
    expander->setDelegate(&delegate);
    expander->setName(expander->name());
    expander->setExpanderDescription(u"d");
    expander->setIdentifier(u"id");
    expander->setPattern(u"p");
    expander->setOutputTemplate(u"o");
    expander->setEnabled(true);
    expander->setSupportedLanguages({ language(u"c") });
    EXPECT_EQ(delegate.changes, 7);
}

TEST(CustomExpanderRecord, ObserversHearThePropertyAndTheLanguageAnnouncementsInOrder)
{
    using enum Observable::Property;
    using enum Observable::Phase;
    auto expander = std::make_shared<CustomExpander>();
    Announcements heard;
    recordAnnouncements(*expander, heard);
    expander->setName(u"x");
    expander->setSupportedLanguages({ language(u"c") });
    EXPECT_EQ(heard,
        (Announcements { { didChange, name }, { willChange, supportedLanguageCocoaAdapters },
            { didChange, supportedLanguagesString }, { didChange, supportedLanguageCocoaAdapters } }));
}

TEST(CustomExpanderRecord, PatternAndTemplateChangesRecomputeTheErrorTexts)
{
    using enum Observable::Property;
    using enum Observable::Phase;
    auto expander = std::make_shared<CustomExpander>();
    Announcements heard;
    recordAnnouncements(*expander, heard);
    expander->setPattern(u"p");
    EXPECT_EQ(heard,
        (Announcements { { didChange, pattern }, { didChange, patternErrors }, { didChange, outputErrors },
            { didChange, errors } }));
}

TEST(CustomExpanderRecord, EqualityComparesFieldByFieldAndAgreesWithTheHash)
{
    auto make = [](const char16_t* name, const char16_t* identifier) {
        auto expander = std::make_shared<CustomExpander>();
        expander->setName(name);
        expander->setIdentifier(identifier);
        return expander;
    };
    // Concatenated, both read "ab"; as fields they differ.
    EXPECT_FALSE(*make(u"ab", u"") == *make(u"a", u"b"));
    EXPECT_TRUE(*make(u"a", u"b") == *make(u"a", u"b"));
    EXPECT_EQ(make(u"a", u"b")->hashValue(), make(u"a", u"b")->hashValue());
    // Canonically equivalent names are equal and hash alike.
    EXPECT_TRUE(*make(u"caf\u00E9", u"") == *make(u"cafe\u0301", u""));
    EXPECT_EQ(make(u"caf\u00E9", u"")->hashValue(), make(u"cafe\u0301", u"")->hashValue());

    auto copy = make(u"a", u"b")->copy();
    EXPECT_TRUE(*copy == *make(u"a", u"b"));
    EXPECT_EQ(copy->delegate(), nullptr);
}

TEST(CustomExpanderValidation, NamesAndPatternsOfOnlySpacesAndTabsAreRefused)
{
    EXPECT_FALSE(CustomExpander::validateName(u16(u"Loop")).has_value());
    EXPECT_FALSE(CustomExpander::validateName(u16(u"\n")).has_value());
    auto refused = CustomExpander::validateName(u16(u"   "));
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->localizedDescription(), u16(u"Expander name cannot be empty!"));
    EXPECT_EQ(refused->domain, "com.orvanta.Quillet");
    EXPECT_EQ(refused->code, 1);
    EXPECT_TRUE(CustomExpander::validateName(std::nullopt).has_value());

    EXPECT_EQ(CustomExpander::validatePattern(u16(u" \t"))->localizedDescription(), u16(u"Pattern cannot be empty!"));
    EXPECT_FALSE(CustomExpander::validatePattern(u16(u" for ")).has_value());
}

TEST(CustomExpanderSearch, HelperScoreAndMatchFollowNameLanguagesPatternAndTemplate)
{
    auto expander = std::make_shared<CustomExpander>(expanderObject(R"({"name": "Fór loop", "pattern": "for",
        "output_template": "for (;;) {}", "supported_languages": ["c", "php"]})"));
    EXPECT_EQ(expander->searchStringHelper(), u16(u"Fór loop for C PHP"));

    struct Case {
        const char16_t* search;
        int score;
        bool matches;
    };
    const Case cases[] = {
        { u"", 7, true }, // everything contains the empty text
        { u"FOR", 5, true }, // name (diacritic-insensitive), pattern, template
        { u"php", 2, true }, // a language
        { u";;", 1, true }, // the template only
        { u"loop", 3, true }, // the name only
        { u"while", 0, false },
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(toUtf8(testCase.search));
        EXPECT_EQ(expander->searchScore(testCase.search), testCase.score);
        EXPECT_EQ(expander->matchesSearch(testCase.search), testCase.matches);
    }

    auto withoutLanguages = std::make_shared<CustomExpander>(
        expanderObject(R"({"name": "x", "pattern": "x", "output_template": "x", "supported_languages": []})"));
    EXPECT_EQ(withoutLanguages->searchScore(u""), 5);
}

TEST(CustomExpanderSearch, SyntaxColourLanguageIsTheFirstOtherThanAnyLanguage)
{
    auto expander = std::make_shared<CustomExpander>();
    EXPECT_EQ(expander->syntaxColorProgrammingLanguage(), nullptr);

    expander->setSupportedLanguages({ language(u"any"), language(u"php") });
    auto adapter = expander->syntaxColorProgrammingLanguage();
    ASSERT_NE(adapter, nullptr);
    EXPECT_EQ(adapter->id(), u16(u"php"));
    // The adapter works on this expander.
    EXPECT_TRUE(adapter->chosen());
    adapter->setChosen(false);
    EXPECT_EQ(expander->supportedLanguagesString(), u16(u"Any Language"));
}

} // namespace
} // namespace quillet
