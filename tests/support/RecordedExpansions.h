#pragma once

// What the tests of the default library's recorded expansions share: the settings the
// recordings were made with and the check (or rewrite) of one recorded entry.

#include "expansion/ExpandedExpression.h"
#include "expansion/TextSettings.h"
#include "text/Settings.h"
#include "text/UnicodeConversion.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <memory>
#include <string>

namespace quillet::test {

/// Expansion depends on the indentation settings; the recorded expansions of the default
/// library use four spaces. Tests of those expansions run with these shared settings.
class RecordedIndentationTest : public testing::Test {
protected:
    void SetUp() override
    {
        auto settings = std::make_shared<InMemorySettings>();
        settings->set(TextSettings::indentWithSpacesKey, true);
        settings->set(TextSettings::indentSizeKey, 4LL);
        Settings::setShared(settings);
    }
    void TearDown() override { Settings::setShared(nullptr); }
};

/// Whether the recorded expansions are to be rewritten from the current engine and bundles
/// (scripts/regenerate-bundle-expansions sets QUILLET_REGENERATE_BUNDLE_EXPANSIONS).
inline bool regeneratingRecordedExpansions()
{
    return std::getenv("QUILLET_REGENERATE_BUNDLE_EXPANSIONS") != nullptr;
}

inline std::string describe(const ExpandedExpression& expression)
{
    return "\"" + toUtf8(expression.text) + "\" with the caret at " + std::to_string(expression.cursorPosition);
}

/// Expects the expansion that the entry ({"text": …, "cursorPosition": …}) records, or, when
/// regenerating, records this one in the entry.
inline void checkRecordedExpansion(
    nlohmann::ordered_json& recorded, const ExpandedExpression& expanded, bool regenerate)
{
    if (regenerate) {
        recorded["text"] = toUtf8(expanded.text);
        recorded["cursorPosition"] = expanded.cursorPosition;
        return;
    }
    const ExpandedExpression expected { fromUtf8(recorded.at("text").get<std::string>()),
        recorded.at("cursorPosition").get<int64_t>() };
    EXPECT_EQ(expanded, expected) << "got " << describe(expanded) << "\nexpected " << describe(expected);
}

} // namespace quillet::test
