#include "docs/TemplateCompiler.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace quillet {
namespace {

struct CompileCase {
    const char* name;
    std::u16string templateText;
    TemplateCompiler::Values values;
    std::u16string result;
};

void PrintTo(const CompileCase& c, std::ostream* out)
{
    *out << c.name;
}

class TemplateCompilation : public testing::TestWithParam<CompileCase> { };

TEST_P(TemplateCompilation, FillsThePlaceholdersInOnePass)
{
    const auto& c = GetParam();
    const TemplateCompiler compiler(u16(c.templateText));
    EXPECT_EQ(compiler.compile(c.values), u16(c.result));
    // The template is kept: a second compile gives the same page.
    EXPECT_EQ(compiler.compile(c.values), u16(c.result));
}

INSTANTIATE_TEST_SUITE_P(Templates, TemplateCompilation,
    testing::Values(
        CompileCase { "EveryOccurrenceIsFilled", u"#{a}-#{b}-#{a}", { { u"a", u"1" }, { u"b", u"2" } }, u"1-2-1" },
        CompileCase {
            "AValueIsNeverScannedAgain", u"#{a}|#{b}", { { u"a", u"#{b}" }, { u"b", u"#{a}" } }, u"#{b}|#{a}" },
        CompileCase { "AValueNamingItsOwnKeyStaysLiteral", u"#{a}", { { u"a", u"x#{a}y" } }, u"x#{a}y" },
        CompileCase { "UnknownPlaceholderStaysAsWritten", u"#{a} #{other}", { { u"a", u"1" } }, u"1 #{other}" },
        CompileCase { "KeysAreCaseSensitiveAndTakeNoBlanks", u"#{A} #{ a}", { { u"a", u"1" } }, u"#{A} #{ a}" },
        CompileCase { "KeyWithoutPlaceholderIsIgnored", u"plain", { { u"a", u"1" } }, u"plain" },
        CompileCase { "UnclosedPlaceholderStays", u"x #{a", { { u"a", u"1" } }, u"x #{a" },
        CompileCase { "PlaceholderAfterAStrayOpeningIsFilled", u"#{#{a}", { { u"a", u"1" } }, u"#{1" },
        CompileCase { "EmptyValueRemovesThePlaceholder", u"[#{a}]", { { u"a", u"" } }, u"[]" }),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quillet
