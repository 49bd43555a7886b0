#include "docs/HTMLGenerators.h"
#include "docs/DocsTestSupport.h"
#include "support/TestSupport.h"
#include "text/UserErrorDescriptionType.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

using test::controllerOf;
using test::makeExpander;

icu::UnicodeString row(
    const icu::UnicodeString& name, const icu::UnicodeString& details, const icu::UnicodeString& defaultValue = {})
{
    return u"<tr class=\"variable\"><td><div class=\"name\">" + name + u"</div></td><td><div class=\"details\">"
        + details + u"</div>" + defaultValue + u"</td></tr>";
}

icu::UnicodeString table(const icu::UnicodeString& rows)
{
    return u"<table class=\"variables\" cell-padding=\"0\" cell-spacing=\"0\"><tbody>" + rows + u"</tbody></table>";
}

TEST(VariablesHTMLGenerator, EmbeddedExpandersShowTheirVariablesAndTheDefaultFollowsTheDetails)
{
    const auto point = makeExpander("pt ${x:number} ${y:number=0}", "(${x}, ${y})", "t.point");
    const auto plain = makeExpander("now", "now()", "t.plain");
    const auto line
        = makeExpander("line ${from:exp(t.point)} ${mark:exp(t.plain)} ${label:word=a<b}", "${from}", "t.line");
    const auto library = controllerOf({ point, plain, line });

    EXPECT_EQ(VariablesHTMLGenerator().generate(*line, *library),
        table(row(u"x", u"number")
            + row(u"y", u"number", u"<div class=\"defaultValue\">Default<div class=\"value\">0</div></div>")
            + row(u"label", u"word", u"<div class=\"defaultValue\">Default<div class=\"value\">a&lt;b</div></div>")));
}

TEST(VariablesHTMLGenerator, APatternWithoutVariablesGivesNoTable)
{
    const auto expander = makeExpander("now", "now()");
    EXPECT_EQ(VariablesHTMLGenerator().generate(*expander, *controllerOf({ expander })), u"");
}

TEST(SyntaxHTMLGenerator, LiteralTextOfThePatternIsEscaped)
{
    const auto expander = makeExpander("<${tag:word}>|</x>|", "<${tag}>");
    EXPECT_EQ(SyntaxHTMLGenerator().generate(*expander, *controllerOf({ expander })),
        u"&lt;<span class=\"variable\">tag</span>&gt;<span class=\"optional\">&lt;/x&gt;</span>");
}

TEST(HTMLGenerators, ARejectedPatternFailsSyntaxAndVariablesWithTheSameError)
{
    const auto expander = makeExpander("bad ${x:nosuchtype}", "${x}");
    const auto library = controllerOf({ expander });
    icu::UnicodeString syntaxError;
    icu::UnicodeString variablesError;
    try {
        SyntaxHTMLGenerator().generate(*expander, *library);
    } catch (const UserErrorDescriptionType& error) {
        syntaxError = error.userErrorTitle() + u": " + error.userErrorDescription();
    }
    try {
        VariablesHTMLGenerator().generate(*expander, *library);
    } catch (const UserErrorDescriptionType& error) {
        variablesError = error.userErrorTitle() + u": " + error.userErrorDescription();
    }
    EXPECT_FALSE(syntaxError.isEmpty());
    EXPECT_EQ(syntaxError, variablesError);
}

TEST(LanguagesHTMLGenerator, LanguagesAreAdjacentDivisionsInOrderAndUnknownIdsAreLeftOut)
{
    const auto expander = makeExpander("x", "y", "", "", "E", { "swift", "nosuchlanguage", "objc" });
    EXPECT_EQ(LanguagesHTMLGenerator().generate(*expander),
        u"<div class=\"language\">Swift</div><div class=\"language\">Objective C</div>");
    EXPECT_EQ(LanguagesHTMLGenerator().generate(*makeExpander("x", "y", "", "", "E", {})), u"");
}

} // namespace
} // namespace quillet
