#include "front/ExpandingController.h"

#include "library/BundleStore.h"
#include "support/TestSupport.h"
#include "text/UserErrorDescriptionType.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillet {
namespace {

JSONDictionary expander(const std::string& name, const std::string& pattern, const std::string& output,
    const std::vector<std::string>& languages)
{
    return { { "name", name }, { "pattern", pattern }, { "output_template", output }, { "is_enabled", true },
        { "supported_languages", languages } };
}

/// A library of one bundle holding the given expanders.
JSONDictionary library(std::vector<JSONDictionary> expanders)
{
    return { { "bundles",
        JSONDictionary::array({ JSONDictionary { { "name", "Test" }, { "expanders", expanders } } }) } };
}

class RecordingDelegate final : public ExpandingControllerDelegate {
public:
    void expandingControllerDidStartExpanding(ExpandingController&) override { calls.push_back("start"); }
    void expandingControllerDidEndExpanding(ExpandingController&) override { calls.push_back("end"); }
    std::vector<std::string> calls;
};

class ExpandingControllerTest : public ::testing::Test {
protected:
    void useLibrary(const JSONDictionary& object)
    {
        m_store = std::make_unique<BundleStore>(object);
        m_controller.setDelegate(&m_delegate);
    }

    std::unique_ptr<BundleStore> m_store;
    ExpandingController m_controller { [this]() -> const BundleStore& { return *m_store; } };
    RecordingDelegate m_delegate;
};

TEST_F(ExpandingControllerTest, TheFilesLanguageWinsOverALongerMatchOfAnotherLanguage)
{
    useLibrary(library(
        { expander("Long", "say hello", "long", { "python" }), expander("Short", "hello", "short", { "swift" }) }));

    const auto forSwift = m_controller.expand(u"say hello", icu::UnicodeString(u"swift"));
    const auto forNone = m_controller.expand(u"say hello", std::nullopt);

    ASSERT_TRUE(forSwift && forNone);
    EXPECT_EQ(forSwift->text, u"say short");
    EXPECT_EQ(forNone->text, u"long");
}

TEST_F(ExpandingControllerTest, TheDelegateHearsStartAndEndAlsoWhenNothingMatchesOrTheExpansionFails)
{
    useLibrary(library({ expander("Broken", "br", "${x}", { "any" }) }));

    EXPECT_FALSE(m_controller.expand(u"nothing", std::nullopt));
    EXPECT_THROW(m_controller.expand(u"br", std::nullopt), UserErrorDescriptionType);

    EXPECT_EQ(m_delegate.calls, (std::vector<std::string> { "start", "end", "start", "end" }));
}

TEST_F(ExpandingControllerTest, AnErrorInTheLanguageGroupEndsTheSearchBeforeTheOtherGroup)
{
    useLibrary(library(
        { expander("Broken", "go", "${missing}", { "swift" }), expander("Other", "go", "fine", { "python" }) }));

    try {
        m_controller.expand(u"go", icu::UnicodeString(u"swift"));
        FAIL() << "the broken expander of the file's language must fail the expansion";
    } catch (const ExpanderRelatedError& error) {
        ASSERT_TRUE(error.expander());
        EXPECT_EQ(error.expander()->name(), u"Broken");
    }
}

} // namespace
} // namespace quillet
