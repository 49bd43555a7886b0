#include "expansion/ExpanderController.h"

#include "library/CustomExpander.h"
#include "support/ScriptedExpander.h"
#include "support/TestSupport.h"
#include "text/UserErrorDescriptionType.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

class Language final : public ProgrammingLanguage {
public:
    explicit Language(icu::UnicodeString id)
        : m_id(std::move(id))
    {
    }
    icu::UnicodeString id() const override { return m_id; }
    icu::UnicodeString name() const override { return m_id; }
    bool accepts(const icu::UnicodeString& extension) const override { return extension == m_id; }

private:
    icu::UnicodeString m_id;
};

ProgrammingLanguageList languages(const std::vector<const char16_t*>& ids)
{
    ProgrammingLanguageList list;
    for (const char16_t* id : ids)
        list.push_back(std::make_shared<Language>(id));
    return list;
}

class LabelledExpander final : public Expander {
public:
    LabelledExpander(icu::UnicodeString identifier, ProgrammingLanguageList languages)
        : m_identifier(std::move(identifier))
        , m_languages(std::move(languages))
    {
    }
    icu::UnicodeString identifier() const override { return m_identifier; }
    icu::UnicodeString name() const override { return m_identifier; }
    icu::UnicodeString expanderDescription() const override { return {}; }
    ProgrammingLanguageList supportedLanguages() const override { return m_languages; }
    icu::UnicodeString expand(const icu::UnicodeString& expression, const ExpanderLookup&) const override
    {
        return expression;
    }
    icu::UnicodeString matchPattern(const ExpanderLookup&) const override { return {}; }

private:
    icu::UnicodeString m_identifier;
    ProgrammingLanguageList m_languages;
};

ExpanderPtr expander(const char16_t* identifier, const std::vector<const char16_t*>& languageIds)
{
    return std::make_shared<LabelledExpander>(identifier, languages(languageIds));
}

TEST(ExpanderController, KeepsTheExpandersInTheCallersOrder)
{
    const auto a = expander(u"a", {});
    const auto b = expander(u"b", {});
    const ExpanderController controller({ b, a });
    ASSERT_EQ(controller.expanders().size(), 2u);
    EXPECT_EQ(controller.expanders()[0], b);
    EXPECT_EQ(controller.expanders()[1], a);
}

TEST(ExpanderController, ExpandersWithKeyFindEveryExpanderOfThatIdentifierInListOrder)
{
    const auto first = expander(u"log", { u"c" });
    const auto other = expander(u"print", { u"c" });
    const auto second = expander(u"log", { u"swift" });
    const auto third = expander(u"log", {});
    const ExpanderController controller({ first, other, second, third });

    EXPECT_EQ(controller.expandersWithKeyAndLanguages(u"log", languages({ u"c" })),
        (std::vector<ExpanderPtr> { first, third }));
    EXPECT_EQ(controller.expandersWithKeyAndLanguages(u"log", {}), (std::vector<ExpanderPtr> { first, second, third }));
    EXPECT_TRUE(controller.expandersWithKeyAndLanguages(u"Log", {}).empty()) << "identifiers compare exactly";
}

TEST(ExpanderController, IdentifiersAreFoundByCanonicalFormAndAfterEveryRename)
{
    // The lookup goes through an index that a controller keeps between searches: it must follow
    // the expanders as they are edited, and compare as the plain comparison does.
    const auto cafe = std::make_shared<CustomExpander>();
    cafe->setIdentifier(u"caf\u00E9");
    const auto other = std::make_shared<CustomExpander>();
    other->setIdentifier(u"other");
    const ExpanderController controller({ cafe, other });
    EXPECT_EQ(controller.expandersWithKeyAndLanguages(u"cafe\u0301", {}), (std::vector<ExpanderPtr> { cafe }));

    cafe->setIdentifier(u"other");
    EXPECT_TRUE(controller.expandersWithKeyAndLanguages(u"caf\u00E9", {}).empty());
    EXPECT_EQ(controller.expandersWithKeyAndLanguages(u"other", {}), (std::vector<ExpanderPtr> { cafe, other }));
    EXPECT_EQ(controller.expandersWithIdentifier(u""), std::vector<ExpanderPtr> {});
}

TEST(ExpanderController, AnEmptyIdentifierFindsNothingEvenForExpandersWithoutIdentifier)
{
    const ExpanderController controller({ expander(u"", {}), expander(u"", { u"any" }) });
    EXPECT_TRUE(controller.expandersWithKeyAndLanguages(u"", {}).empty());
    EXPECT_TRUE(controller.expandersWithKeyAndLanguages(u"", languages({ u"any" })).empty());
}

struct LanguageRuleCase {
    const char* name;
    std::vector<const char16_t*> expanderLanguages;
    std::vector<const char16_t*> givenLanguages;
    bool serves;

    friend void PrintTo(const LanguageRuleCase& c, std::ostream* out) { *out << c.name; }
};

class LanguageRule : public testing::TestWithParam<LanguageRuleCase> { };

TEST_P(LanguageRule, DecidesWhetherAnExpanderServesTheGivenLanguages)
{
    const auto& c = GetParam();
    const auto candidate = expander(u"id", c.expanderLanguages);
    const ExpanderController controller({ candidate });
    const auto given = languages(c.givenLanguages);

    EXPECT_EQ(ExpanderController::expanderMatchesLanguages(*candidate, given), c.serves);
    EXPECT_EQ(controller.expandersWithKeyAndLanguages(u"id", given).size(), c.serves ? 1u : 0u);
    EXPECT_EQ(controller.expandersForLanguages(given).size(), c.serves ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, LanguageRule,
    testing::Values(LanguageRuleCase { "NoLanguageGiven", { u"c" }, {}, true },
        LanguageRuleCase { "AnyGiven", { u"c" }, { u"swift", u"any" }, true },
        LanguageRuleCase { "ExpanderWithoutLanguages", {}, { u"swift" }, true },
        LanguageRuleCase { "ExpanderForAnyLanguage", { u"any" }, { u"swift" }, true },
        LanguageRuleCase { "SharedLanguage", { u"c", u"php" }, { u"swift", u"php" }, true },
        LanguageRuleCase { "NoSharedLanguage", { u"c" }, { u"swift" }, false },
        LanguageRuleCase { "IdsCompareExactly", { u"C" }, { u"c" }, false }),
    [](const testing::TestParamInfo<LanguageRuleCase>& info) { return info.param.name; });

TEST(ExpanderController, ExpandersForLanguagesLeaveOutExpandersWithoutIdentifier)
{
    const auto unnamed = expander(u"", {});
    const auto named = expander(u"x", {});
    const auto cOnly = expander(u"y", { u"c" });
    const ExpanderController controller({ unnamed, named, cOnly });
    EXPECT_EQ(controller.expandersForLanguages({}), (std::vector<ExpanderPtr> { named, cOnly }));
    EXPECT_EQ(controller.expandersForLanguages(languages({ u"swift" })), (std::vector<ExpanderPtr> { named }));
}

TEST(SupportsLanguages, NeedsASharedIdAndGivesAnyNoSpecialMeaning)
{
    EXPECT_TRUE(supportsLanguages(*expander(u"x", { u"any" }), {}));
    EXPECT_TRUE(supportsLanguages(*expander(u"x", { u"c" }), languages({ u"swift", u"c" })));
    EXPECT_FALSE(supportsLanguages(*expander(u"x", { u"any" }), languages({ u"swift", u"c" })));
    EXPECT_FALSE(supportsLanguages(*expander(u"x", {}), languages({ u"c" })));
}

TEST(HasIdentifier, IsTrueOnlyForANonEmptyIdentifier)
{
    EXPECT_TRUE(hasIdentifier(*expander(u"x", {})));
    EXPECT_FALSE(hasIdentifier(*expander(u"", {})));
}

using test::scripted;
using test::ScriptedExpander;

TEST(FindExpander, TriesTheLongestMatchFirst)
{
    const auto shorter = scripted(u"de", u"short");
    const auto longer = scripted(u"abc de", u"long");
    const ExpanderController controller({ shorter, longer });
    const auto result = controller.findExpander(u"x abc de");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->text, u"x long");
    EXPECT_EQ(shorter->expandCalls(), 0);
}

TEST(FindExpander, FallsBackToTheNextCandidateWhenTheLongestGivesNoResult)
{
    // The longer expander's pattern changes between the match and the expansion, so its
    // expansion finds nothing at the end of the text.
    int reads = 0;
    const auto vanishing
        = std::make_shared<ScriptedExpander>([&reads] { return icu::UnicodeString(reads++ == 0 ? u"abc de" : u"zzz"); },
            [](const icu::UnicodeString&) { return icu::UnicodeString(u"long"); });
    const auto shorter = scripted(u"de", u"short");
    const ExpanderController controller({ shorter, vanishing });
    const auto result = controller.findExpander(u"x abc de");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->text, u"x abc short");
}

class EqualLengths : public testing::TestWithParam<int> { };

// Candidates of equal length keep the list order, however many there are.
TEST_P(EqualLengths, KeepTheListOrder)
{
    std::vector<ExpanderPtr> expanders;
    expanders.push_back(scripted(u"c", u"shorter"));
    for (int i = 0; i < GetParam(); ++i)
        expanders.push_back(scripted(i % 2 ? u"abc" : u"a.c", icu::UnicodeString(u"out") + char16_t(u'A' + i % 26)));
    const ExpanderController controller(expanders);
    const auto result = controller.findExpander(u"abc");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->text, u"outA");
}

INSTANTIATE_TEST_SUITE_P(CandidateCounts, EqualLengths, testing::Values(2, 19, 20, 64));

TEST(FindExpander, APatternErrorEndsTheSearchNamingItsExpander)
{
    const auto someoneElse = scripted(u"x", u"x");
    const auto broken = std::make_shared<ScriptedExpander>(
        [&someoneElse]() -> icu::UnicodeString {
            ExpanderValidationError error(u"Pattern error", u"bad pattern");
            error.setExpander(someoneElse);
            throw error;
        },
        [](const icu::UnicodeString&) { return icu::UnicodeString(); });
    const auto working = scripted(u"abc", u"fine");
    const ExpanderController controller({ broken, working });
    try {
        controller.findExpander(u"abc");
        FAIL() << "no error";
    } catch (const ExpanderValidationError& error) {
        EXPECT_EQ(error.userErrorDescription(), u"bad pattern");
        EXPECT_EQ(error.expander(), broken);
    }
    EXPECT_EQ(working->expandCalls(), 0);
}

TEST(FindExpander, AnOutputErrorOfTheFirstCandidateEndsTheSearchNamingIt)
{
    const auto failing = std::make_shared<ScriptedExpander>([] { return icu::UnicodeString(u"abc"); },
        [](const icu::UnicodeString&) -> icu::UnicodeString { throw ExpanderValidationError(u"Output", u"bad"); });
    const auto second = scripted(u"bc", u"fine");
    const ExpanderController controller({ second, failing });
    EXPECT_EQ(test::expanderNamedBySearchError(controller, u"abc"), failing);
    EXPECT_EQ(second->expandCalls(), 0);
}

TEST(FindExpander, OtherErrorsPassUnchanged)
{
    const auto failing = std::make_shared<ScriptedExpander>([] { return icu::UnicodeString(u"abc"); },
        [](const icu::UnicodeString&) -> icu::UnicodeString { throw BasicUserError(u"Title", u"plain"); });
    const ExpanderController controller({ failing });
    EXPECT_THROW(controller.findExpander(u"abc"), BasicUserError);
}

TEST(FindExpander, AGivenExpanderIsTriedAloneAndTheListIgnored)
{
    const auto listed = scripted(u"abc", u"listed");
    const auto given = scripted(u"xyz", u"given");
    const ExpanderController controller({ listed });
    EXPECT_FALSE(controller.findExpander(u"abc", given));
    const auto result = controller.findExpander(u"xyz", given);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->text, u"given");
    EXPECT_EQ(listed->expandCalls(), 0);
}

TEST(FindExpander, AGivenExpandersErrorsNameIt)
{
    const auto given = std::make_shared<ScriptedExpander>([] { return icu::UnicodeString(u"abc"); },
        [](const icu::UnicodeString&) -> icu::UnicodeString { throw ExpanderValidationError(u"Output", u"bad"); });
    const ExpanderController controller;
    EXPECT_EQ(test::expanderNamedBySearchError(controller, u"abc", given), given);
}

TEST(FindExpander, GivesNothingWithoutCandidatesOrForATextWithALineFeed)
{
    const auto expander = scripted(u"abc", u"x");
    const ExpanderController controller({ expander });
    EXPECT_FALSE(controller.findExpander(u"xyz"));
    EXPECT_FALSE(controller.findExpander(u"abc\nabc"));
    EXPECT_FALSE(ExpanderController().findExpander(u"abc"));
}

TEST(FindExpander, AnExpressionThatRunsOutOfTimeEndsTheSearchNamingItsExpander)
{
    // Twelve lazy runs before a letter the line lacks: catastrophic backtracking. The match
    // gives up within its limit, and says so instead of passing for "no match".
    icu::UnicodeString hostile;
    for (int i = 0; i < 12; ++i)
        hostile.append(u"(.*?)");
    hostile.append(u"Q");
    const auto slow = scripted(hostile, u"never");
    const auto word = scripted(u"zz", u"found");
    const ExpanderController controller({ word, slow });

    EXPECT_EQ(
        test::expanderNamedBySearchError(controller, u"a line of ordinary words typed in an editor and then zz"), slow);
    EXPECT_EQ(word->expandCalls(), 0);
}

} // namespace
} // namespace quillet
