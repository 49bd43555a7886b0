#include "variables/ExpanderVariable.h"

#include "expansion/ExpanderController.h"
#include "text/PatternErrors.h"
#include "text/RecursionObserver.h"
#include "text/StringHelpers.h"
#include "text/StringMatching.h"
#include "text/UnicodeConversion.h"
#include "variables/PatternParser.h"
#include "variables/VariableErrors.h"
#include "variables/VariableFactory.h"

#include "support/FakeExpander.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <thread>

namespace quillet {
namespace {

using icu::UnicodeString;
using test::FakeExpander;

class ExpanderVariableTest : public ::testing::Test {
protected:
    std::shared_ptr<ExpanderVariable> make(
        const ExpanderController& controller, const UnicodeString& declaration, const Expander* parent = nullptr)
    {
        return std::dynamic_pointer_cast<ExpanderVariable>(
            VariableFactory().parseVariable(declaration, parent, controller));
    }

    UnicodeString errorOf(const std::function<void()>& action)
    {
        try {
            action();
        } catch (const UserErrorDescriptionType& error) {
            return error.userErrorDescription();
        }
        return {};
    }

    /// Expanders e0 … e(n-1): each embeds the next; the last is a plain word.
    ExpanderController chain(int length)
    {
        std::vector<ExpanderPtr> expanders;
        for (int i = 0; i < length; ++i) {
            const auto id = u"e" + UnicodeString(std::to_string(i).c_str());
            const auto next = u"e" + UnicodeString(std::to_string(i + 1).c_str());
            expanders.push_back(
                FakeExpander::make(id, i + 1 < length ? u"a${v:exp(" + next + u")}" : UnicodeString(u"${w:word}")));
        }
        return ExpanderController(expanders);
    }

    /// Expanders f0 … f(n-1): each declares four variables that embed the next, so the
    /// embedded expression grows fourfold with every level; the last is a plain word.
    ExpanderController fanOut(int length)
    {
        std::vector<ExpanderPtr> expanders;
        for (int i = 0; i < length; ++i) {
            const auto id = u"f" + UnicodeString(std::to_string(i).c_str());
            const auto next = u"f" + UnicodeString(std::to_string(i + 1).c_str());
            UnicodeString pattern;
            for (int k = 0; k < 4; ++k)
                pattern += (k ? u" ${v" : u"${v") + UnicodeString(std::to_string(k).c_str()) + u":exp(" + next + u")}";
            expanders.push_back(FakeExpander::make(id, i + 1 < length ? pattern : UnicodeString(u"${w:word}")));
        }
        return ExpanderController(expanders);
    }
};

TEST_F(ExpanderVariableTest, EmbedsTheExpressionAndCountsItsGroups)
{
    ExpanderController controller({ FakeExpander::make(u"greet", u"hello ${who:word}", {}, UnicodeString(u"Hi!")) });
    auto variable = make(controller, u"${g:exp(greet)}");
    EXPECT_EQ(variable->regex(controller), u"(hello ((\\w+)))");
    EXPECT_EQ(variable->additionalNumberOfMatchesInRegex(), 2);
    EXPECT_EQ(variable->value(u"hello bob"), u"Hi!");
    EXPECT_EQ(variable->string(), u"exp(greet)");
}

TEST_F(ExpanderVariableTest, TheGroupCountEqualsTheGroupsOfTheBuiltExpression)
{
    ExpanderController controller({ FakeExpander::make(u"opt", u"  a|b ${x:word}|  ") });
    auto variable = make(controller, u"${g:exp(opt)}");
    EXPECT_EQ(variable->regex(controller), u"(a(b ((\\w+)))?)");
    EXPECT_EQ(variable->additionalNumberOfMatchesInRegex(), 3);

    PatternParser parser(u"${g:exp(opt)} ${after:word}", nullptr, controller);
    auto index = parser.captureGroupIndex(*parser.variable(u"after"));
    ASSERT_TRUE(index.has_value());
    auto match = captureGroups(u"ab x tail", parser.anchoredRegexPattern());
    ASSERT_EQ(match.size(), 1u);
    EXPECT_EQ(*captureGroup(match.front(), *index), u"tail");
}

TEST_F(ExpanderVariableTest, ADeclarationThatStaysLiteralInTheEmbeddedPatternIsNotCounted)
{
    // "${n:text(abc)}" is not how a text variable writes itself, so it stays literal text in the
    // embedded expression and owns no group there.
    ExpanderController controller({ FakeExpander::make(u"odd", u"${n:text(abc)} ${m:word}") });
    PatternParser parser(u"${g:exp(odd)} ${after:word}", nullptr, controller);
    auto index = parser.captureGroupIndex(*parser.variable(u"after"));
    ASSERT_TRUE(index.has_value());
    auto match = captureGroups(u"${n:text(abc)} one two", parser.anchoredRegexPattern());
    ASSERT_EQ(match.size(), 1u);
    EXPECT_EQ(*captureGroup(match.front(), *index), u"two");
}

TEST_F(ExpanderVariableTest, SurroundingBlanksOfTheEmbeddedPatternStayOnlyInTheDeclarationText)
{
    ExpanderController controller({ FakeExpander::make(u"sp", u" x ${y:word} ") });
    auto variable = make(controller, u"${g:exp(sp)}");
    EXPECT_EQ(variable->regex(controller), u"(x ((\\w+)))");
    EXPECT_EQ(variable->declarationText(), u" x ${y:word} ");
    PatternParser parser(u"a ${g:exp(sp)}", nullptr, controller);
    EXPECT_EQ(parser.expandedPattern(), u"a  x ${y:word} ");
    ASSERT_EQ(parser.flattenedVariables().size(), 1u);
    EXPECT_EQ(parser.flattenedVariables().front()->name(), u"y");
}

TEST_F(ExpanderVariableTest, AnEmbeddedExpanderWithoutVariablesDisappearsFromTheFlattenedList)
{
    ExpanderController controller({ FakeExpander::make(u"plain", u"just text") });
    PatternParser parser(u"${g:exp(plain)} ${w:word}", nullptr, controller);
    ASSERT_EQ(parser.flattenedVariables().size(), 1u);
    EXPECT_EQ(parser.flattenedVariables().front()->name(), u"w");
}

TEST_F(ExpanderVariableTest, LookupFailuresNameTheIdentifier)
{
    ExpanderController controller({ FakeExpander::make(u"greet", u"hi", { test::language(u"swift") }) });
    EXPECT_EQ(errorOf([&] { make(controller, u"${g:exp( greet)}")->regex(controller); }),
        u"Expander with identifier \" greet\" has not been found.");

    FakeExpander parent(u"p", u"${g:exp(greet)}", { test::language(u"php") });
    auto incompatible = make(controller, u"${g:exp(greet)}", &parent);
    EXPECT_EQ(errorOf([&] { incompatible->referencedExpander(); }),
        u"Expander with identifier \"greet\" is not compatible with this one.");
    EXPECT_EQ(errorOf([&] { incompatible->validate(); }),
        u"Expander with identifier \"greet\" is not compatible with this one.");
    EXPECT_NO_THROW(make(controller, u"${g:exp(greet)}")->referencedExpander());

    try {
        incompatible->regex(controller);
        FAIL();
    } catch (const ExpanderVariableParsingError& error) {
        EXPECT_EQ(error.userErrorTitle(), u"Expander variable parsing error");
    }
    EXPECT_EQ(ExpanderVariable::recursionObserver().nRepeats(), 0);
}

TEST_F(ExpanderVariableTest, AnEmptyIdentifierIsReportedByTheFirstRule)
{
    ExpanderController controller;
    InputVariableEditorData data;
    data.setVariableName(u"g");
    auto variable = ExpanderVariable::variableKind().makeFromEditorData(data, nullptr, controller);
    EXPECT_EQ(errorOf([&] { variable->validate(); }), u"No identifier specified.");
}

TEST_F(ExpanderVariableTest, SelfEmbeddingFailsWithTheRecursionMessage)
{
    auto self = FakeExpander::make(u"loop", u"x${me:exp(loop)}");
    ExpanderController controller({ self });
    EXPECT_EQ(errorOf([&] { PatternParser(self->pattern(), self.get(), controller); }),
        u"Oops. Looks like 'me' variable is recursive. The bad thing is it cannot be stopped. Please fix it.");
    EXPECT_EQ(ExpanderVariable::recursionObserver().nRepeats(), 0);
    EXPECT_EQ(RecursionObserver::shared().nRepeats(), 0);

    // The group count of a loop must end, and it ends at 0 past the depth limit.
    auto variable = make(controller, u"${me:exp(loop)}");
    EXPECT_EQ(variable->additionalNumberOfMatchesInRegex(), 0);
}

TEST_F(ExpanderVariableTest, MutualEmbeddingAndALaterSelfEmbeddingFailToo)
{
    ExpanderController controller({ FakeExpander::make(u"a", u"${x:exp(b)}"), FakeExpander::make(u"b", u"${y:exp(a)}"),
        FakeExpander::make(u"c", u"${w:word} ${z:exp(c)}") });
    EXPECT_THROW(PatternParser(u"${x:exp(a)}", nullptr, controller), PatternParsingError);
    EXPECT_THROW(PatternParser(u"${x:exp(c)}", nullptr, controller), PatternParsingError);
    EXPECT_EQ(ExpanderVariable::recursionObserver().nRepeats(), 0);
}

TEST_F(ExpanderVariableTest, TwentyNestedEmbeddingsBuildAndTwentyOneFail)
{
    auto twenty = chain(20);
    PatternParser parser(u"${v:exp(e0)}", nullptr, twenty);
    auto match = captureGroups(repeated(u"a", 19) + u"word", parser.anchoredRegexPattern());
    ASSERT_EQ(match.size(), 1u);
    // Twenty nested groups plus the word's two: the count must agree with the expression.
    EXPECT_EQ(parser.variables().front()->additionalNumberOfMatchesInRegex(), 21);
    EXPECT_EQ(int(match.front().size()) - 1, 1 + parser.variables().front()->additionalNumberOfMatchesInRegex());

    auto twentyOne = chain(21);
    EXPECT_THROW(PatternParser(u"${v:exp(e0)}", nullptr, twentyOne), PatternParsingError);
    EXPECT_EQ(ExpanderVariable::recursionObserver().nRepeats(), 0);
    // A new unrelated build starts again from zero.
    EXPECT_NO_THROW(PatternParser(u"${v:exp(e0)}", nullptr, twenty));
}

TEST_F(ExpanderVariableTest, EmbeddingsThatMultiplyFailAsRecursiveInsteadOfGrowingWithoutBound)
{
    // Four levels of fourfold embedding are an ordinary, if large, expression.
    auto shallow = fanOut(4);
    PatternParser parser(u"${top:exp(f0)}", nullptr, shallow);
    const auto& top = *parser.variables().front();
    EXPECT_EQ(top.additionalNumberOfMatchesInRegex(), 4 * (1 + 4 * (1 + 4 * (1 + 2))));
    auto match = captureGroups(repeated(u"w ", 63) + u"w", parser.anchoredRegexPattern());
    ASSERT_EQ(match.size(), 1u);
    EXPECT_EQ(int(match.front().size()) - 1, 1 + top.additionalNumberOfMatchesInRegex());

    // Eleven levels would make an expression of millions of groups: the build
    // stops with the recursion error, and the group count gives up as for any pattern
    // whose expression cannot be built.
    auto deep = fanOut(11);
    try {
        PatternParser(u"${top:exp(f0)}", nullptr, deep);
        FAIL();
    } catch (const PatternParsingError& error) {
        EXPECT_EQ(error.userErrorTitle(), u"Pattern parsing error");
        EXPECT_TRUE(matchesRegex(error.userErrorDescription(),
            u"^Oops\\. Looks like 'v[0-3]' variable is recursive\\. The bad thing is it cannot be "
            u"stopped\\. Please fix it\\.$"))
            << toUtf8(error.userErrorDescription());
    }
    EXPECT_EQ(ExpanderVariable::recursionObserver().nRepeats(), 0);
    EXPECT_EQ(RecursionObserver::shared().nRepeats(), 0);
    EXPECT_EQ(make(deep, u"${top:exp(f0)}")->additionalNumberOfMatchesInRegex(), 0);

    // Neither limit outlives the build that reached it.
    EXPECT_NO_THROW(PatternParser(u"${top:exp(f0)}", nullptr, shallow));
    EXPECT_EQ(
        make(shallow, u"${top:exp(f0)}")->additionalNumberOfMatchesInRegex(), top.additionalNumberOfMatchesInRegex());
}

TEST_F(ExpanderVariableTest, CountsOnAnotherThreadDoNotInterfere)
{
    ExpanderVariable::recursionObserver().setNRepeats(19);
    RecursionObserver::shared().setNRepeats(19);
    auto twenty = chain(20);
    bool built = false;
    std::thread worker([&] {
        PatternParser parser(u"${v:exp(e0)}", nullptr, twenty);
        built = !parser.regexPattern().isEmpty();
    });
    worker.join();
    EXPECT_TRUE(built);
    EXPECT_EQ(ExpanderVariable::recursionObserver().nRepeats(), 19);
    ExpanderVariable::recursionObserver().reset();
    RecursionObserver::shared().reset();
}

TEST_F(ExpanderVariableTest, EditorOffersExpandersWithIdentifiersForTheEditedLanguages)
{
    auto swift = FakeExpander::make(u"s", u"x", { test::language(u"swift") });
    auto php = FakeExpander::make(u"p", u"y", { test::language(u"php") });
    auto unnamed = FakeExpander::make(u"", u"z");
    ExpanderController controller({ swift, php, unnamed });
    FakeExpander edited(u"me", u"", { test::language(u"swift") });

    InputVariableEditorData data;
    make(controller, u"${g:exp(s)}")->configure(data, &edited);
    EXPECT_EQ(data.variableName(), u"g");
    EXPECT_EQ(data.selectedValue(), swift);
    ASSERT_TRUE(data.selectableValues().has_value());
    EXPECT_EQ(*data.selectableValues(), (std::vector<ExpanderPtr> { swift }));

    make(controller, u"${g:exp(missing)}")->configure(data, nullptr);
    EXPECT_EQ(data.selectedValue(), nullptr);
    EXPECT_EQ(data.selectableValues()->size(), 2u);

    data.setSelectedValue(php);
    auto rebuilt = ExpanderVariable::variableKind().makeFromEditorData(data, nullptr, controller);
    EXPECT_EQ(rebuilt->declaration(), u"${g:exp(p)}");
    EXPECT_EQ(rebuilt->editorMode().selectableValueBox->title, u"Expander");
}

} // namespace
} // namespace quillet
