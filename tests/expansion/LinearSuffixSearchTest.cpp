// The one-pass search of a long line against ICU's backtracking search of the same expression:
// the same leftmost start, and from it the same groups, for the default library's expressions
// over the lines its tests type (as they are and behind prefixes that start mid-word, hold
// characters beyond Latin-1 or end in a line terminator), and for a table of expressions whose
// classes the two engines spell differently.

#include "expansion/LinearSuffixSearch.h"

#include "expansion/ExpanderController.h"
#include "library/BundleStore.h"
#include "text/UnicodeConversion.h"
#include "variables/PatternParser.h"

#include "support/SyntheticLibrary.h"
#include "support/TestSupport.h"

#include <nlohmann/json.hpp>
#include <unicode/regex.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillet {
namespace {

using icu::UnicodeString;

struct IcuMatch {
    int32_t start = 0;
    std::vector<std::pair<int32_t, int32_t>> groups; // start and end of every group, -1 when absent
};

std::vector<std::pair<int32_t, int32_t>> groupsOf(icu::RegexMatcher& matcher)
{
    UErrorCode status = U_ZERO_ERROR;
    std::vector<std::pair<int32_t, int32_t>> groups;
    for (int32_t i = 0; i <= matcher.groupCount(); ++i)
        groups.emplace_back(matcher.start(i, status), matcher.end(i, status));
    return groups;
}

std::unique_ptr<icu::RegexPattern> anchoredPattern(const UnicodeString& expression)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexPattern> pattern(icu::RegexPattern::compile(
        PatternParser::wordStartGuard() + u"(?:" + expression + u")$", UREGEX_DOTALL, status));
    return U_SUCCESS(status) ? std::move(pattern) : nullptr;
}

/// ICU's own leftmost match of the expression behind the word-start guard and followed by "$".
std::optional<IcuMatch> icuSearch(const icu::RegexPattern& pattern, const UnicodeString& text)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern.matcher(text, status));
    if (!matcher->find(status) || U_FAILURE(status))
        return std::nullopt;
    return IcuMatch { matcher->start(status), groupsOf(*matcher) };
}

/// ICU matching at the start the automaton found, as the search does.
std::optional<IcuMatch> icuAt(const icu::RegexPattern& pattern, const UnicodeString& text, int32_t start)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(pattern.matcher(text, status));
    matcher->useTransparentBounds(true);
    matcher->region(start, text.length(), status);
    if (!matcher->lookingAt(status) || U_FAILURE(status))
        return std::nullopt;
    return IcuMatch { start, groupsOf(*matcher) };
}

std::string shown(const std::optional<IcuMatch>& match)
{
    if (!match)
        return "none";
    std::string out = "start " + std::to_string(match->start) + ", groups";
    for (const auto& [from, to] : match->groups)
        out += " " + std::to_string(from) + "-" + std::to_string(to);
    return out;
}

/// Compares the two searches; true when ICU finds a match.
bool searchesAgree(const LinearSuffixSearch& linear, const UnicodeString& expression, const UnicodeString& text,
    const std::string& label)
{
    const auto pattern = anchoredPattern(expression);
    if (!pattern) {
        ADD_FAILURE() << label << ": the automaton takes an expression ICU refuses";
        return false;
    }
    const LinearSearchText prepared(text);
    EXPECT_TRUE(prepared.isUsable()) << label;
    const auto start = linear.leftmostStart(prepared);
    const auto expected = icuSearch(*pattern, text);
    const auto found = start ? icuAt(*pattern, text, *start) : std::nullopt;
    EXPECT_EQ(shown(found), shown(expected))
        << label << "\n  expression " << toUtf8(expression) << "\n  text \"" << toUtf8(text) << "\"";
    return expected.has_value();
}

struct TableCase {
    const char16_t* expression;
    const char16_t* text;
};

// Classes and anchors whose meaning differs between the engines, words of other scripts, the
// guard at the start of a word, inside one and after one, and line terminators at the end.
const TableCase table[] = {
    { u"\\w+", u"a, caf\u00e9" },
    { u"\\w+", u"\u0434\u0430\u043d\u043d\u044b\u0435" },
    { u"\\w+", u"x \u0915\u094d\u0937" }, // a virama (a mark) is a word character
    { u"\\w+", u"a\u200cb" },
    { u"\\w+", u"\U0001D400\U0001D401" }, // mathematical letters beyond the BMP
    { u"\\W+", u"ab, ;" },
    { u"\\d+", u"x \u0661\u0662" }, // Arabic-Indic digits
    { u"\\d", u"\u00b2" }, // a superscript is no decimal digit
    { u"\\s+\\w", u"a\u00a0\u2003b" },
    { u"\\S+", u"a \u0085b" },
    { u"[^a-z]+", u"xy\u00e9\u00e8" },
    { u"[\\w.]+", u"call a.b_c" },
    { u"[^\\s]+", u"a b\u2028c" },
    { u"\\p{Lu}\\p{Ll}+", u"x Caf\u00e9" },
    { u"\\P{L}+", u"ab12" },
    { u"\\x{1F600}+", u"\U0001F600\U0001F600" },
    { u"\\u00e9t\\u00e9", u"\u00e9t\u00e9" },
    { u"\\Q.*\\E", u"a.*" },
    { u"print ((.+))", u"reprint a; reprint b; print c" },
    { u"print ((.+))", u"reprint a; reprint b" },
    { u"b((.*))", u"ab ab ab" },
    { u"b((.*))", u"ab ab b" },
    { u"((.+?)) in ((.+))", u"for x in ys" },
    { u"\\{( ((.+?)))? in \\}", u"a { b } { x in }" },
    { u"foo", u"xfoo" },
    { u"foo", u"x.foo" },
    { u"[a-z]+", u"abc" },
    { u"[a-z]*", u"12" },
    { u"(ab|a)(bc|c)?", u"xabc" },
    { u"x{2,3}", u"axxxx" },
    { u"\\.(\\w+)", u"a.b" },
    { u"((.+))", u"line\r" },
    { u"end", u"the end\r" },
    { u"end", u"the end\u2028" },
    { u"end\\r", u"the end\r" },
    { u"end.", u"the end\u2029" },
    { u"end", u"the end\u000b" },
    { u"((.*))", u"" },
    { u"\\t(\\w+)", u"\tx" },
    { u"\\-\\>(\\w+)", u"a->b" },
    { u"[\\-+]\\d", u"x -1" },
    { u"[a\\]]+", u"x a]" },
};

TEST(LinearSuffixSearch, FindsIcusStartAndGroupsForEveryTableExpression)
{
    for (const auto& entry : table) {
        const UnicodeString expression(entry.expression);
        const UnicodeString text(entry.text);
        const auto linear = LinearSuffixSearch::make(expression);
        ASSERT_NE(linear, nullptr) << toUtf8(expression) << " is not taken by the automaton";
        searchesAgree(*linear, expression, text, "table");
        // Behind a word, the start may not lie inside it.
        searchesAgree(*linear, expression, u"abc" + text, "behind a word");
        searchesAgree(*linear, expression, u"\u00fcber " + text, "behind a Latin-1 word");
    }
}

// What the automaton lacks is left to ICU.
TEST(LinearSuffixSearch, LeavesToIcuWhatItCannotRead)
{
    for (const char16_t* expression : { u"(a)\\1", u"(?<=a)b", u"(?!a)b", u"a\\b", u"(?i)a", u"a$", u"^a", u"a++",
             u"[a&&b]", u"[[a]b]", u"(?>a)", u"\\X", u"a{2000}" })
        EXPECT_EQ(LinearSuffixSearch::make(expression), nullptr) << toUtf8(UnicodeString(expression));
    for (const char16_t* text : { u"a\xd800", u"a\U000F0000", u"\U00020000\U00020001" })
        EXPECT_FALSE(LinearSearchText(text).isUsable()) << toUtf8(UnicodeString(text));
}

std::vector<std::string> recordedInputs()
{
    std::vector<std::string> inputs;
    for (const char* file : { "DefaultBundleExpansions.json", "DefaultBundleLines.json" }) {
        const auto cases = nlohmann::json::parse(test::readFile(std::string(QUILLET_TEST_DATA_DIR) + "/" + file));
        for (const auto& recorded : cases)
            inputs.push_back(recorded.at("input").get<std::string>());
    }
    return inputs;
}

// Every expression of the default library over every line its tests type, as typed and behind
// prefixes: a word the line's first word continues, words beyond Latin-1, a carriage return
// or a line separator at the end.
TEST(LinearSuffixSearch, FindsIcusStartForTheDefaultLibraryOverItsLines)
{
    const BundleStore store(test::defaultLibrary());
    std::vector<ExpanderPtr> expanders;
    for (const auto& bundle : store.bundles())
        expanders.insert(expanders.end(), bundle->expanders().begin(), bundle->expanders().end());
    const ExpanderController controller(expanders);
    const auto inputs = recordedInputs();
    ASSERT_GT(inputs.size(), 100u);

    std::size_t taken = 0;
    std::size_t refused = 0;
    std::size_t matches = 0;
    for (const auto& expander : expanders) {
        const UnicodeString expression = expander->matchPattern(controller);
        const auto linear = LinearSuffixSearch::make(expression);
        if (!linear) {
            ++refused;
            continue;
        }
        ++taken;
        for (const auto& input : inputs) {
            const UnicodeString line = UnicodeString::fromUTF8(input);
            for (const UnicodeString& text : { line, u"xyz" + line, u"\u0434\u0430\u043d\u043d\u044b\u0435 = " + line,
                     u"let \u00fcber = 1; " + line, line + u"\r", line + u"\u2028" })
                matches += searchesAgree(*linear, expression, text, toUtf8(expander->name())) ? 1 : 0;
        }
    }
    // Every default pattern is one the automaton reads.
    EXPECT_EQ(refused, 0u);
    EXPECT_EQ(taken, expanders.size());
    // Each line matches at least the expander it was written for, as typed and behind the
    // prefixes that leave it a word of its own.
    EXPECT_GE(matches, inputs.size() * 4);
}

} // namespace
} // namespace quillet
