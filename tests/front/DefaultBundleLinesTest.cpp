// The default library as the expansion front uses it: the ten bundles, searched with the
// file's extension (its languages first, then everything else). Two data tables drive it:
//
// - tests/data/ordinary-lines/: one real-looking source file per language. No line of it may
//   expand in a file of its own type; a pattern that does fire there is too loose.
// - tests/data/DefaultBundleLines.json: lines typed the way programmers write them, each with
//   the bundle that must answer it and the exact expansion it must give.

#include "front/ExpandingController.h"

#include "expansion/ExpanderController.h"
#include "expansion/TextSettings.h"
#include "library/App.h"
#include "library/BundleStore.h"
#include "library/ResourceLocator.h"
#include "text/Settings.h"
#include "text/UnicodeConversion.h"

#include "support/RecordedExpansions.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace quillet {
namespace {

using test::readFile;

std::filesystem::path dataDirectory()
{
    return std::filesystem::path(QUILLET_TEST_DATA_DIR);
}

/// The library a first run installs: every default bundle, in order.
JSONDictionary defaultLibraryObject()
{
    const DirectoryResourceLocator resources(DirectoryResourceLocator::defaultRoot());
    auto bundles = JSONDictionary::array();
    for (const auto& name : App::defaultBundleNames()) {
        const auto path = resources.pathForResource(name, "qlbundle");
        if (!path)
            throw std::runtime_error("no resource " + name + ".qlbundle");
        bundles.push_back(JSONDictionary::parse(readFile(*path)));
    }
    return { { "bundles", bundles } };
}

std::string describe(const std::optional<ExpandedExpression>& expression)
{
    if (!expression)
        return "nothing";
    return test::describe(*expression);
}

class DefaultBundleLinesTest : public test::RecordedIndentationTest {
protected:
    static void SetUpTestSuite() { s_store = std::make_unique<BundleStore>(defaultLibraryObject()); }
    static void TearDownTestSuite() { s_store.reset(); }

    /// The search of the expansion front for a line typed in a file with the extension.
    std::optional<ExpandedExpression> expand(const std::string& line, const std::string& extension)
    {
        return m_front.expand(fromUtf8(line), fromUtf8(extension));
    }

    /// What the named bundle alone makes of the line.
    static std::optional<ExpandedExpression> expandWithBundle(const std::string& line, const std::string& bundleName)
    {
        for (const auto& bundle : s_store->bundles()) {
            if (toUtf8(bundle->name()) == bundleName) {
                const ExpanderController controller({ bundle->expanders().begin(), bundle->expanders().end() });
                return controller.findExpander(fromUtf8(line));
            }
        }
        throw std::runtime_error("no default bundle " + bundleName);
    }

    static std::unique_ptr<BundleStore> s_store;
    ExpandingController m_front { []() -> const BundleStore& { return *s_store; } };
};

std::unique_ptr<BundleStore> DefaultBundleLinesTest::s_store;

TEST_F(DefaultBundleLinesTest, OrdinaryLinesOfEveryLanguageExpandToNothingInTheirOwnFiles)
{
    std::size_t languages = 0;
    std::size_t lines = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dataDirectory() / "ordinary-lines")) {
        const std::string extension = entry.path().extension().string().substr(1);
        ++languages;
        std::istringstream source(readFile(entry.path()));
        std::size_t number = 0;
        for (std::string line; std::getline(source, line);) {
            ++number;
            if (line.find_first_not_of(" \t") == std::string::npos)
                continue;
            ++lines;
            std::optional<ExpandedExpression> expanded;
            ASSERT_NO_THROW(expanded = expand(line, extension))
                << entry.path().filename().string() << ":" << number << ": " << line;
            EXPECT_FALSE(expanded.has_value()) << entry.path().filename().string() << ":" << number << ": \"" << line
                                               << "\" expands to " << describe(expanded);
        }
    }
    // Swift, Objective-C, PHP, HTML, Python, JavaScript and C, a few hundred lines in all.
    EXPECT_EQ(languages, 7u);
    EXPECT_GE(lines, 300u);
}

TEST_F(DefaultBundleLinesTest, NaturalLinesGiveTheirBundlesExpansionThroughTheFileSearch)
{
    const auto tableFile = dataDirectory() / "DefaultBundleLines.json";
    auto cases = nlohmann::ordered_json::parse(readFile(tableFile));
    ASSERT_TRUE(cases.is_array());
    const bool regenerate = test::regeneratingRecordedExpansions();
    std::set<std::string> bundlesCovered;
    for (auto& recorded : cases) {
        const auto bundleName = recorded.at("bundle").get<std::string>();
        const auto extension = recorded.at("extension").get<std::string>();
        const auto input = recorded.at("input").get<std::string>();
        SCOPED_TRACE(bundleName + ", ." + extension + ": \"" + input + "\"");
        bundlesCovered.insert(bundleName);

        std::optional<ExpandedExpression> expanded;
        ASSERT_NO_THROW(expanded = expand(input, extension));
        ASSERT_TRUE(expanded.has_value());
        // The line must be answered by the bundle it is filed under, not by a look-alike.
        std::optional<ExpandedExpression> byBundle;
        ASSERT_NO_THROW(byBundle = expandWithBundle(input, bundleName));
        EXPECT_EQ(expanded, byBundle) << "the file search gives " << describe(expanded) << ", the bundle "
                                      << describe(byBundle);
        test::checkRecordedExpansion(recorded, *expanded, regenerate);
    }
    EXPECT_EQ(bundlesCovered.size(), App::defaultBundleNames().size());
    if (regenerate)
        test::writeFile(tableFile, cases.dump(2, ' ', false) + "\n");
}

} // namespace
} // namespace quillet
