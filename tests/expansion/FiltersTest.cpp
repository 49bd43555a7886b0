#include "expansion/FilterStore.h"

#include "support/TestSupport.h"

#include <unicode/locid.h>
#include <unicode/regex.h>

#include <gtest/gtest.h>

#include <random>

namespace quillet {
namespace {

icu::UnicodeString applied(const char16_t* keyword, const icu::UnicodeString& text)
{
    return FilterStore::shared().filter(keyword).apply(text);
}

struct FilterCase {
    const char* name;
    const char16_t* keyword;
    const char16_t* input;
    const char16_t* expected;

    friend void PrintTo(const FilterCase& c, std::ostream* out) { *out << c.name; }
};

class FilterTransformation : public testing::TestWithParam<FilterCase> { };

TEST_P(FilterTransformation, TransformsTheText)
{
    const auto& c = GetParam();
    EXPECT_EQ(applied(c.keyword, c.input), icu::UnicodeString(c.expected));
}

INSTANTIATE_TEST_SUITE_P(Cases, FilterTransformation,
    testing::Values(FilterCase { "UppercaseAscii", u"uppercase", u"hello World", u"HELLO WORLD" },
        FilterCase { "UppercaseLengthensSharpS", u"uppercase", u"stra\u00DFe", u"STRASSE" },
        FilterCase { "UppercaseIgnoresTurkishLocaleRules", u"uppercase", u"i", u"I" },
        FilterCase { "LowercaseAscii", u"lowercase", u"HeLLo", u"hello" },
        FilterCase { "LowercaseNonAscii", u"lowercase", u"\u00C9COLE", u"\u00E9cole" },
        FilterCase { "SnakeCaseCamel", u"snakecase", u"someValue", u"some_value" },
        FilterCase { "SnakeCaseAcronym", u"snakecase", u"XMLParserError", u"xml_parser_error" },
        FilterCase { "SnakeCaseDigits", u"snakecase", u"ABC123Def", u"abc123_def" },
        FilterCase { "SnakeCaseAlreadySnake", u"snakecase", u"already_snake", u"already_snake" },
        FilterCase { "SnakeCaseKeepsSpaces", u"snakecase", u"with space", u"with space" },
        FilterCase { "SnakeCaseEveryMatchInOnePass", u"snakecase", u"aBcD", u"a_bc_d" },
        FilterCase { "SnakeCaseNonAsciiLettersOnlyLowerCased", u"snakecase", u"\u00E9T\u00C9", u"\u00E9t\u00E9" },
        FilterCase { "PascalCaseUnderscoresAndSpaces", u"pascalcase", u"foo_bar baz", u"FooBarBaz" },
        FilterCase { "PascalCaseLowersTheRestOfWords", u"pascalcase", u"fooBAR_baz", u"FoobarBaz" },
        FilterCase { "PascalCaseLeadingUnderscore", u"pascalcase", u"_a", u"A" },
        FilterCase { "PascalCaseKeepsTabs", u"pascalcase", u"a\tb", u"A\tB" },
        FilterCase { "CamelCaseUnderscores", u"camelcase", u"foo_bar_baz", u"fooBarBaz" },
        FilterCase { "CamelCaseKeepsCaseOfTheRest", u"camelcase", u"Foo_BAR", u"fooBAR" },
        FilterCase { "CamelCaseLeadingUnderscore", u"camelcase", u"_private_name", u"privateName" },
        FilterCase { "CamelCaseDoubledUnderscore", u"camelcase", u"a__b", u"aB" },
        FilterCase { "CamelCaseDoesNotSplitAtSpaces", u"camelcase", u"foo bar", u"foo bar" },
        FilterCase { "CapitalizeWords", u"capitalize", u"hello WORLD", u"Hello World" },
        FilterCase { "CapitalizeKeepsDelimiters", u"capitalize", u"a\tbC\nd  e", u"A\tBc\nD  E" },
        FilterCase { "CapitalizeTitleCasesEachWordAsAWhole", u"capitalize",
            u"\u00DFtra\u00DFe \u01C6emal \uFB01sh (hello 3d", u"Sstra\u00DFe \u01C5emal Fish (Hello 3d" },
        FilterCase { "CapitalizeWordThatLengthensBeyondItself", u"capitalize",
            u"a\u0130\u0130\u0130\u0130\u0130\u0130\u0130\u0130\u0130\u0130 b",
            u"Ai\u0307i\u0307i\u0307i\u0307i\u0307i\u0307i\u0307i\u0307i\u0307i\u0307 B" },
        FilterCase { "RemoveSpaces", u"remove_spaces", u"a b c", u"abc" },
        FilterCase { "RemoveSpacesKeepsTabsAndLineBreaks", u"remove_spaces", u"a\tb\nc d", u"a\tb\ncd" },
        FilterCase { "LcFirstOnlyTheFirstCharacter", u"lcfirst", u"\u00C9COLE", u"\u00E9COLE" },
        FilterCase { "LcFirstDecomposedCharacter", u"lcfirst", u"E\u0301COLE", u"e\u0301COLE" },
        FilterCase { "UcFirstOnlyTheFirstCharacter", u"ucfirst", u"hello world", u"Hello world" },
        FilterCase { "UcFirstSharpSGivesOneLetter", u"ucfirst", u"\u00DFa", u"Sa" },
        FilterCase { "UcFirstCarriageReturnLineFeedIsOneCharacter", u"ucfirst", u"\r\nab", u"\r\nab" }),
    [](const testing::TestParamInfo<FilterCase>& info) { return info.param.name; });

TEST(Filters, EmptyTextStaysEmptyExceptForTheDigests)
{
    for (const Filter* filter : FilterStore::shared().allFilters()) {
        if (filter->id() == u"md5" || filter->id() == u"sha1")
            continue;
        EXPECT_EQ(filter->apply(u""), u"") << toUtf8(filter->id());
    }
    EXPECT_EQ(applied(u"md5", u""), u"d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(applied(u"sha1", u""), u"da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

TEST(Filters, DigestsAreLowerCaseHexOfTheUtf8Bytes)
{
    EXPECT_EQ(applied(u"md5", u"abc"), u"900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(applied(u"sha1", u"abc"), u"a9993e364706816aba3e25717850c26c9cd0d89d");
    // "é" is two UTF-8 bytes, C3 A9.
    EXPECT_EQ(applied(u"md5", u"\u00E9"), applied(u"md5", fromUtf8("\xC3\xA9")));
    EXPECT_NE(applied(u"md5", u"abc"), applied(u"md5", u"ABC"));
    EXPECT_NE(applied(u"sha1", u"abc"), applied(u"sha1", u"ABC"));
}

TEST(Filters, DigestsOfAnUnpairedSurrogateUseTheReplacementCharacter)
{
    const icu::UnicodeString loneSurrogate(static_cast<char16_t>(0xD800));
    const icu::UnicodeString replacement(u"\uFFFD");
    EXPECT_EQ(applied(u"md5", loneSurrogate), applied(u"md5", replacement));
    EXPECT_EQ(applied(u"sha1", loneSurrogate), applied(u"sha1", replacement));
    EXPECT_NE(applied(u"md5", loneSurrogate), u"00000000000000000000000000000000");
    EXPECT_NE(applied(u"sha1", u"a" + loneSurrogate), applied(u"sha1", loneSurrogate));
}

TEST(Filters, HaveTheirNamesKeywordsAndDescriptions)
{
    struct Expected {
        const char16_t* keyword;
        const char16_t* name;
        const char16_t* description;
    };
    const Expected expected[] = {
        { u"uppercase", u"Uppercase", u"Makes all the letters UPPERCASE." },
        { u"lowercase", u"Lowercase", u"makes all the letters lowercase." },
        { u"snakecase", u"Snake case", u"Converts text to snake_case." },
        { u"pascalcase", u"Pascal Case", u"Converts text to PascalCase." },
        { u"camelcase", u"Camel case", u"Converts text to camelCase." },
        { u"capitalize", u"Capitalize", u"Converts First Letter Of Each Word To Uppercase." },
        { u"md5", u"MD5", u"Converts text into MD5 hash value." },
        { u"sha1", u"SHA1", u"Converts text into SHA1 hash value." },
        { u"remove_spaces", u"Remove spaces", u"Removesallthespaces." },
        { u"lcfirst", u"Make first letter lower case", u"Makes the first letter lowercase." },
        { u"ucfirst", u"Make first letter upper case", u"Makes the first letter uppercase." },
    };
    for (const auto& e : expected) {
        const Filter& filter = FilterStore::shared().filter(e.keyword);
        EXPECT_EQ(filter.name(), icu::UnicodeString(e.name));
        EXPECT_EQ(filter.documentationDescription(), icu::UnicodeString(e.description));
        EXPECT_FALSE(filter.documentationSyntax().has_value());
    }
}

// Reference for snake case: the two expressions it is defined by, replaced from left to right.
icu::UnicodeString snakeCaseByExpressions(const icu::UnicodeString& text)
{
    icu::UnicodeString result(text);
    for (const char16_t* expression : { u"([a-z])([A-Z])", u"([A-Z]+[0-9]*)([A-Z][a-z])" }) {
        UErrorCode status = U_ZERO_ERROR;
        icu::RegexMatcher matcher(expression, result, 0, status);
        result = matcher.replaceAll(u"$1_$2", status);
        EXPECT_TRUE(U_SUCCESS(status));
    }
    result.toLower(icu::Locale::getRoot());
    return result;
}

TEST(Filters, SnakeCaseAgreesWithItsDefiningExpressionsOnManyMixedTexts)
{
    const icu::UnicodeString alphabet(u"ABaz09_ ");
    std::mt19937 random(7);
    const Filter& snakecase = FilterStore::shared().filter(u"snakecase");
    for (int round = 0; round < 3000; ++round) {
        icu::UnicodeString text;
        const int length = int(random() % 14);
        for (int i = 0; i < length; ++i)
            text.append(alphabet[int32_t(random() % alphabet.length())]);
        EXPECT_EQ(snakecase.apply(text), snakeCaseByExpressions(text)) << toUtf8(text);
    }
}

TEST(Filters, SnakeCaseOfAVeryLongRunOfCapitalsFinishes)
{
    // The defining expression backtracks quadratically here; the filter must not.
    icu::UnicodeString text;
    for (int i = 0; i < 200000; ++i)
        text.append(u'A');
    text.append(u"Ab");
    const icu::UnicodeString result = FilterStore::shared().filter(u"snakecase").apply(text);
    EXPECT_EQ(result.length(), text.length() + 1);
    EXPECT_EQ(result.tempSubString(result.length() - 4), icu::UnicodeString(u"a_ab"));
}

} // namespace
} // namespace quillet
