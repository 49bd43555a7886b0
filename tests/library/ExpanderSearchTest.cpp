// The expander browser's search: which expanders a text finds and in which order, over the
// bundles a new user starts with.

#include "library/ExpanderSearch.h"
#include "languages/ProgrammingLanguageStore.h"
#include "library/App.h"
#include "library/Bundle.h"
#include "library/BundleStore.h"
#include "library/CustomExpander.h"
#include "library/LibraryFakes.h"
#include "library/ResourceLocator.h"
#include "text/UnicodeConversion.h"

#include "support/ExpanderNames.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillet {
namespace {

using test::names;

/// What the browser must list, computed from the expander's own rules, one expander at a
/// time: the matches, best score first, library order among equal scores.
std::vector<CustomExpanderPtr> expectedResult(
    const std::vector<CustomExpanderPtr>& expanders, const icu::UnicodeString& text)
{
    std::vector<CustomExpanderPtr> kept;
    std::copy_if(expanders.begin(), expanders.end(), std::back_inserter(kept),
        [&text](const CustomExpanderPtr& expander) { return expander->matchesSearch(text); });
    std::stable_sort(kept.begin(), kept.end(), [&text](const CustomExpanderPtr& a, const CustomExpanderPtr& b) {
        return a->searchScore(text) > b->searchScore(text);
    });
    return kept;
}

CustomExpanderPtr makeExpander(const std::string& name, const std::string& pattern, const std::string& output,
    const std::vector<std::string>& languages = { "any" })
{
    JSONDictionary dictionary;
    dictionary["name"] = name;
    dictionary["pattern"] = pattern;
    dictionary["output_template"] = output;
    dictionary["supported_languages"] = languages;
    return std::make_shared<CustomExpander>(dictionary);
}

class ExpanderSearchOverDefaultBundles : public ::testing::Test {
protected:
    void SetUp() override
    {
        // No library file yet: the first run installs the default bundles.
        environment = std::make_unique<test::RecordingEnvironment>(
            dir.path() / "bundles.qlbundles", DirectoryResourceLocator::defaultRoot());
        app = std::make_unique<App>(environment->environment);
        ASSERT_TRUE(app->isLoaded());
        enabled = app->bundleStore().enabledExpanders();
        ASSERT_GT(enabled.size(), 100u);
    }

    test::TempDir dir;
    std::unique_ptr<test::RecordingEnvironment> environment;
    std::unique_ptr<App> app;
    std::vector<CustomExpanderPtr> enabled;
};

TEST_F(ExpanderSearchOverDefaultBundles, ListsTheMatchesBestFirstAndInLibraryOrderAmongEquals)
{
    struct Row {
        const char* query;
        const char* firstName; // nullptr: no match at all; "*": any
    };
    const Row rows[] = {
        { "", "*" }, // everything; 7 for every expander with a language
        { "controller", "View controller" }, // name, pattern and template: 5, first in library order
        { "CONTROLLER", "View controller" }, // case does not matter
        { "rÉpÉatïng", "Repeating timer" }, // nor do accents
        { "Objective", "Interface" }, // only a language's name holds it
        { "html5", "HTML document" }, // only a pattern
        { "pdo", "Prepared statement" },
        { "no expander holds this", nullptr },
    };
    ExpanderSearch search;
    for (const auto& row : rows) {
        const icu::UnicodeString text = fromUtf8(row.query);
        const auto found = search.search(enabled, text);
        EXPECT_EQ(names(found), names(expectedResult(enabled, text))) << row.query;
        if (row.firstName) {
            ASSERT_FALSE(found.empty()) << row.query;
            if (std::string(row.firstName) != "*") {
                EXPECT_EQ(toUtf8(found.front()->name()), row.firstName) << row.query;
            }
        } else {
            EXPECT_TRUE(found.empty()) << row.query;
        }
    }

    // A language's name finds the expanders of that language only.
    const auto supportsObjectiveC = [](const CustomExpanderPtr& expander) {
        return expander->supportedLanguagesString().indexOf(u"Objective C") >= 0;
    };
    const auto objectiveC = search.search(enabled, u"objective");
    EXPECT_TRUE(std::all_of(objectiveC.begin(), objectiveC.end(), supportsObjectiveC));
    EXPECT_EQ(
        objectiveC.size(), static_cast<std::size_t>(std::count_if(enabled.begin(), enabled.end(), supportsObjectiveC)));
    EXPECT_GT(objectiveC.size(), 10u);
    // The empty text lists every enabled expander, in library order when all score alike.
    EXPECT_EQ(search.search(enabled, u"").size(), enabled.size());
}

TEST(ExpanderSearchTest, EqualScoresKeepTheLibraryOrder)
{
    // Enough expanders that an unstable sort would shuffle them; even ones match by name (3),
    // odd ones only by their template (1).
    std::vector<CustomExpanderPtr> expanders;
    std::vector<std::string> evens;
    std::vector<std::string> odds;
    for (int index = 0; index < 300; ++index) {
        const std::string name = "entry " + std::to_string(index) + (index % 2 == 0 ? " needle" : "");
        expanders.push_back(makeExpander(name, "p" + std::to_string(index), index % 2 == 0 ? "x" : "needle"));
        (index % 2 == 0 ? evens : odds).push_back(name);
    }
    std::vector<std::string> expected = evens;
    expected.insert(expected.end(), odds.begin(), odds.end());
    EXPECT_EQ(names(ExpanderSearch().search(expanders, u"NEEDLE")), expected);
}

TEST(ExpanderSearchTest, FollowsEditsOfTheExpandersBetweenSearches)
{
    auto first = makeExpander("Alpha", "alpha", "a");
    auto second = makeExpander("Beta", "beta", "b");
    const std::vector<CustomExpanderPtr> expanders { first, second };
    ExpanderSearch search;
    EXPECT_EQ(names(search.search(expanders, u"alp")), std::vector<std::string>({ "Alpha" }));

    second->setName(u"Alphabet");
    EXPECT_EQ(names(search.search(expanders, u"alp")), std::vector<std::string>({ "Alpha", "Alphabet" }));
    first->setPattern(u"gamma");
    first->setName(u"Gamma");
    EXPECT_EQ(names(search.search(expanders, u"alp")), std::vector<std::string>({ "Alphabet" }));
    second->setOutputTemplate(u"Élan");
    EXPECT_EQ(names(search.search(expanders, u"elan")), std::vector<std::string>({ "Alphabet" }));
    EXPECT_TRUE(search.search(expanders, u"swift").empty());
    first->setSupportedLanguages({ *ProgrammingLanguageStore::shared().language(u"swift") });
    EXPECT_EQ(names(search.search(expanders, u"swift")), std::vector<std::string>({ "Gamma" }));
}

TEST(ExpanderSearchTest, SearchTextIsTrimmedOfBlanksButNotOfLineBreaks)
{
    using Text = std::optional<icu::UnicodeString>;
    struct Row {
        Text previous;
        Text next;
        bool filters;
    };
    const Row rows[] = {
        { std::nullopt, icu::UnicodeString(), true }, // the first edit that ends empty
        { icu::UnicodeString(), std::nullopt, true },
        { icu::UnicodeString(u"for"), icu::UnicodeString(u"for "), false },
        { icu::UnicodeString(u"for"), icu::UnicodeString(u"\t for\u00A0"), false },
        { icu::UnicodeString(u"for"), icu::UnicodeString(u"for\n"), true },
        { icu::UnicodeString(u"caf\u00E9"), icu::UnicodeString(u"cafe\u0301"), false }, // canonically equal
        { icu::UnicodeString(u"for"), icu::UnicodeString(u"For"), true },
        { icu::UnicodeString(u" "), icu::UnicodeString(), false },
    };
    for (const auto& row : rows) {
        EXPECT_EQ(searchTextChangeNeedsFiltering(row.previous, row.next), row.filters)
            << (row.previous ? toUtf8(*row.previous) : "absent") << " -> " << (row.next ? toUtf8(*row.next) : "absent");
    }
    EXPECT_EQ(browserSearchText(std::nullopt), icu::UnicodeString());
    EXPECT_EQ(browserSearchText(icu::UnicodeString(u" \tfor item\u2003")), icu::UnicodeString(u"for item"));
    EXPECT_EQ(browserSearchText(icu::UnicodeString(u"for\n")), icu::UnicodeString(u"for\n"));
}

} // namespace
} // namespace quillet
