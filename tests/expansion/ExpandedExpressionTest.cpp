#include "expansion/ExpandedExpression.h"

#include "support/TestSupport.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

namespace quillet {
namespace {

TEST(ExpandedExpression, EncodesAsTextAndCursorPosition)
{
    const ExpandedExpression expression { .text = u"caf\u00E9 #1", .cursorPosition = 3 };
    const nlohmann::json json = expression;
    EXPECT_EQ(json, nlohmann::json::parse(R"({"text": "café #1", "cursorPosition": 3})"));
    EXPECT_EQ(json.get<ExpandedExpression>(), expression);
}

TEST(ExpandedExpression, DecodingIgnoresOtherMembers)
{
    const auto json = nlohmann::json::parse(R"({"cursorPosition": 2, "text": "ab", "extra": true})");
    EXPECT_EQ(json.get<ExpandedExpression>(), (ExpandedExpression { .text = u"ab", .cursorPosition = 2 }));
}

struct BadJsonCase {
    const char* name;
    const char* json;

    friend void PrintTo(const BadJsonCase& c, std::ostream* out) { *out << c.name; }
};

class UndecodableExpandedExpression : public testing::TestWithParam<BadJsonCase> { };

TEST_P(UndecodableExpandedExpression, FailsWithTheDecodersError)
{
    const auto json = nlohmann::json::parse(GetParam().json);
    EXPECT_THROW(json.get<ExpandedExpression>(), nlohmann::json::exception);
}

INSTANTIATE_TEST_SUITE_P(Cases, UndecodableExpandedExpression,
    testing::Values(BadJsonCase { "MissingText", R"({"cursorPosition": 1})" },
        BadJsonCase { "MissingCursor", R"({"text": "a"})" },
        BadJsonCase { "TextNotString", R"({"text": 5, "cursorPosition": 1})" },
        BadJsonCase { "CursorString", R"({"text": "a", "cursorPosition": "1"})" },
        BadJsonCase { "CursorFraction", R"({"text": "a", "cursorPosition": 1.5})" },
        BadJsonCase { "NotAnObject", R"(["a", 1])" }),
    [](const testing::TestParamInfo<BadJsonCase>& info) { return info.param.name; });

TEST(ExpandedExpression, ConvertsTheCaretFromCharactersToCodeUnits)
{
    // An emoji takes two code units, a flag four, an e with a combining accent two.
    const ExpandedExpression expression { .text = u"\U0001F600\U0001F1E9\U0001F1EAe\u0301x", .cursorPosition = 0 };
    const int32_t expected[] = { 0, 2, 6, 8, 9, 9 };
    for (int64_t position = 0; position < 6; ++position) {
        ExpandedExpression at = expression;
        at.cursorPosition = position;
        EXPECT_EQ(at.cursorCodeUnitOffset(), expected[position]) << "caret at " << position;
    }
    ExpandedExpression before = expression;
    before.cursorPosition = -1;
    EXPECT_EQ(before.cursorCodeUnitOffset(), 0);
}

} // namespace
} // namespace quillet
