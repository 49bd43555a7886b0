// The ten bundles installed on the first run are data, but broken data ships as broken
// features: these tests load every default bundle file the way the first run does and push
// every pattern, template and documented example through the real engine.

#include "expansion/ExpanderController.h"
#include "expansion/ExpanderExpansion.h"
#include "expansion/OutputTemplateValidator.h"
#include "expansion/TextSettings.h"
#include "library/App.h"
#include "library/Bundle.h"
#include "library/CustomExpander.h"
#include "library/ResourceLocator.h"
#include "text/Settings.h"
#include "text/UnicodeConversion.h"
#include "text/UserErrorDescriptionType.h"
#include "variables/PatternParser.h"
#include "variables/PatternValidator.h"

#include "support/AdversarialLines.h"
#include "support/RecordedExpansions.h"
#include "support/TemplateExpander.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unicode/regex.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillet {
namespace {

using test::readFile;

constexpr std::size_t minimumExpanderCount = 8;
constexpr std::size_t maximumExpanderCount = 40;

std::filesystem::path expansionsFile()
{
    return std::filesystem::path(QUILLET_TEST_DATA_DIR) / "DefaultBundleExpansions.json";
}

std::optional<std::filesystem::path> bundlePath(const std::string& name)
{
    return DirectoryResourceLocator(DirectoryResourceLocator::defaultRoot()).pathForResource(name, "qlbundle");
}

/// Reads a default bundle the way the first run's import does; throws what the reader throws.
std::shared_ptr<Bundle> readBundle(const std::string& name)
{
    const auto path = bundlePath(name);
    if (!path)
        throw std::runtime_error("no resource " + name + ".qlbundle");
    return std::make_shared<Bundle>(JSONDictionary::parse(readFile(*path)));
}

/// The default library, read once for all tests; a bundle that fails to read is absent (the
/// loading test reports why).
const std::map<std::string, std::shared_ptr<Bundle>>& defaultLibrary()
{
    static const auto library = [] {
        std::map<std::string, std::shared_ptr<Bundle>> bundles;
        for (const auto& name : App::defaultBundleNames()) {
            try {
                bundles[name] = readBundle(name);
            } catch (...) {
            }
        }
        return bundles;
    }();
    return library;
}

std::vector<ExpanderPtr> expandersOf(const Bundle& bundle)
{
    return { bundle.expanders().begin(), bundle.expanders().end() };
}

/// Every expander of the default library, in installation order.
std::vector<ExpanderPtr> libraryExpanders()
{
    std::vector<ExpanderPtr> expanders;
    for (const auto& name : App::defaultBundleNames()) {
        const auto found = defaultLibrary().find(name);
        if (found != defaultLibrary().end())
            for (const auto& expander : found->second->expanders())
                expanders.push_back(expander);
    }
    return expanders;
}

std::set<std::string> languageIds(const Expander& expander)
{
    std::set<std::string> ids;
    for (const auto& language : expander.supportedLanguages())
        ids.insert(toUtf8(language->id()));
    return ids;
}

/// The expanders that an expansion in a file of the expander's languages tries first: those
/// sharing one of its languages, and those for any language. An expander for any language
/// competes with everything.
std::vector<ExpanderPtr> rivalsOf(const Expander& expander)
{
    const auto own = languageIds(expander);
    std::vector<ExpanderPtr> rivals;
    for (const auto& other : libraryExpanders()) {
        const auto ids = languageIds(*other);
        bool shares = own.count("any") > 0 || ids.count("any") > 0;
        for (const auto& id : ids)
            shares = shares || own.count(id) > 0;
        if (shares)
            rivals.push_back(other);
    }
    return rivals;
}

/// The example lines of a description, as the documentation finds them: after the
/// two-character sequence backslash-n becomes a line break, every line that starts with
/// "> " and has more after it.
std::vector<std::string> exampleLines(const icu::UnicodeString& description)
{
    std::string text = toUtf8(description);
    for (std::size_t at = text.find("\\n"); at != std::string::npos; at = text.find("\\n", at + 1))
        text.replace(at, 2, "\n");
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string line = text.substr(start, end - start);
        if (line.size() > 2 && line.compare(0, 2, "> ") == 0)
            lines.push_back(line.substr(2));
        start = end + 1;
    }
    return lines;
}

std::string describe(const CustomExpander& expander)
{
    return "expander \"" + toUtf8(expander.name()) + "\" (" + toUtf8(expander.pattern()) + ")";
}

using test::describe;

using DefaultBundlesEnvironment = test::RecordedIndentationTest;

class DefaultBundleTest : public DefaultBundlesEnvironment, public testing::WithParamInterface<std::string> {
protected:
    const Bundle& bundle() const
    {
        const auto found = defaultLibrary().find(GetParam());
        if (found == defaultLibrary().end())
            throw std::runtime_error(GetParam() + " did not load");
        return *found->second;
    }
};

TEST_P(DefaultBundleTest, LoadsAsAnEnabledBundleOfItsNameWithLanguagesAndIdentifiers)
{
    const auto path = bundlePath(GetParam());
    ASSERT_TRUE(path.has_value()) << "missing resource " << GetParam() << ".qlbundle";
    std::shared_ptr<Bundle> loaded;
    ASSERT_NO_THROW(loaded = readBundle(GetParam()));
    EXPECT_EQ(toUtf8(loaded->name()), GetParam());
    EXPECT_TRUE(loaded->isEnabled());
    EXPECT_FALSE(loaded->bundleDescription().isEmpty());
    EXPECT_GE(loaded->expanders().size(), minimumExpanderCount);
    EXPECT_LE(loaded->expanders().size(), maximumExpanderCount);

    ASSERT_FALSE(loaded->supportedLanguageContainers().empty());
    for (const auto& container : loaded->supportedLanguageContainers())
        EXPECT_TRUE(container.programmingLanguage.has_value()) << "unknown language " << toUtf8(container.identifier);

    for (const auto& expander : loaded->expanders()) {
        EXPECT_TRUE(expander->isEnabled()) << describe(*expander);
        EXPECT_FALSE(expander->identifier().isEmpty()) << describe(*expander);
        EXPECT_FALSE(expander->expanderDescription().isEmpty()) << describe(*expander);
        ASSERT_FALSE(expander->supportedLanguageContainers().empty()) << describe(*expander);
        for (const auto& container : expander->supportedLanguageContainers())
            EXPECT_TRUE(container.programmingLanguage.has_value())
                << describe(*expander) << ": unknown language " << toUtf8(container.identifier);
    }
}

TEST_P(DefaultBundleTest, WritesBackWhatItRead)
{
    const auto path = bundlePath(GetParam());
    ASSERT_TRUE(path.has_value());
    // Compared without regard to key order, which the format leaves open.
    const auto onDisk = nlohmann::json::parse(readFile(*path));
    const auto written = nlohmann::json::parse(bundle().dictionary().dump());
    EXPECT_EQ(written, onDisk) << "the file holds keys or values that the library would not keep";
}

TEST_P(DefaultBundleTest, EveryPatternParsesAndEveryVariableValidates)
{
    const ExpanderController controller(expandersOf(bundle()));
    for (const auto& expander : bundle().expanders()) {
        SCOPED_TRACE(describe(*expander));
        EXPECT_NO_THROW(PatternValidator(expander->pattern(), nullptr, controller).validate());
        std::unique_ptr<PatternParser> parser;
        ASSERT_NO_THROW(parser = std::make_unique<PatternParser>(expander->pattern(), expander.get(), controller));
        EXPECT_FALSE(parser->variables().empty() && expander->pattern().length() < 4)
            << "a pattern this short is typed by accident";
        for (const auto& variable : parser->variables()) {
            SCOPED_TRACE("variable " + toUtf8(variable->name()));
            EXPECT_NO_THROW(variable->validate());
            // A declaration that is not written the way the variable writes it back stays
            // literal text and never receives a value.
            EXPECT_TRUE(parser->captureGroupIndex(*variable).has_value());
        }
    }
}

TEST_P(DefaultBundleTest, EveryTemplateValidatesAgainstItsPattern)
{
    const ExpanderController controller(expandersOf(bundle()));
    for (const auto& expander : bundle().expanders()) {
        SCOPED_TRACE(describe(*expander));
        std::unique_ptr<PatternParser> parser;
        ASSERT_NO_THROW(parser = std::make_unique<PatternParser>(expander->pattern(), expander.get(), controller));
        EXPECT_NO_THROW(OutputTemplateValidator(expander->outputTemplate(), parser->variables()).validate());
    }
}

TEST_P(DefaultBundleTest, EveryExpanderExampleExpandsWithThatExpander)
{
    const ExpanderController controller(expandersOf(bundle()));
    for (const auto& expander : bundle().expanders()) {
        SCOPED_TRACE(describe(*expander));
        const auto examples = exampleLines(expander->expanderDescription());
        EXPECT_FALSE(examples.empty()) << "the description shows no example";
        for (const auto& example : examples) {
            SCOPED_TRACE("example \"" + example + "\"");
            // The documentation rewrites these before it expands an example line.
            for (const char* markup : { "*", "`", "\t", "    " })
                EXPECT_EQ(example.find(markup), std::string::npos) << "holds markup " << markup;
            std::optional<ExpandedExpression> expanded;
            ASSERT_NO_THROW(expanded = controller.findExpander(fromUtf8(example), expander));
            ASSERT_TRUE(expanded.has_value());
            EXPECT_NE(toUtf8(expanded->text), example) << "the expansion changes nothing";
        }
    }
}

TEST_P(DefaultBundleTest, EveryExpanderExampleIsWonByItsExpanderInTheWholeLibrary)
{
    // Expanders of one language must not fight over a line: for each documented example the
    // search over everything tried first in a file of the expander's languages (the longest
    // match, and among equally long ones the earliest in the library) must give exactly what
    // the documented expander gives.
    const ExpanderController library(libraryExpanders());
    for (const auto& expander : bundle().expanders()) {
        const ExpanderController rivals(rivalsOf(*expander));
        for (const auto& example : exampleLines(expander->expanderDescription())) {
            SCOPED_TRACE(describe(*expander) + ", example \"" + example + "\"");
            const auto text = fromUtf8(example);
            std::optional<ExpandedExpression> own;
            ASSERT_NO_THROW(own = library.findExpander(text, expander));
            ASSERT_TRUE(own.has_value());
            std::optional<ExpandedExpression> searched;
            ASSERT_NO_THROW(searched = rivals.findExpander(text));
            ASSERT_TRUE(searched.has_value());
            if (*searched != *own) {
                std::string others;
                for (const auto& rival : rivalsOf(*expander))
                    if (rival != expander && matchedText(*rival, text, library))
                        others += " \"" + toUtf8(rival->name()) + "\"";
                ADD_FAILURE() << "the search gives " << describe(*searched) << " instead of " << describe(*own)
                              << "; also matched by" << others;
            }
        }
    }
}

TEST_P(DefaultBundleTest, EveryBundleExampleExpandsAndKeepsItsExpansionInTheWholeLibrary)
{
    const ExpanderController own(expandersOf(bundle()));
    const ExpanderController library(libraryExpanders());
    const auto examples = exampleLines(bundle().bundleDescription());
    EXPECT_FALSE(examples.empty()) << "the bundle description shows no example";
    for (const auto& example : examples) {
        SCOPED_TRACE("example \"" + example + "\"");
        std::optional<ExpandedExpression> byBundle;
        ASSERT_NO_THROW(byBundle = own.findExpander(fromUtf8(example)));
        ASSERT_TRUE(byBundle.has_value());
        // The documentation expands bundle examples over the whole library.
        std::optional<ExpandedExpression> byLibrary;
        ASSERT_NO_THROW(byLibrary = library.findExpander(fromUtf8(example)));
        ASSERT_TRUE(byLibrary.has_value());
        EXPECT_EQ(*byLibrary, *byBundle) << describe(*byLibrary) << " instead of " << describe(*byBundle);
    }
}

/// Where the abbreviation begins by the plain definition of a match: the leftmost start from
/// which the expander's expression (behind the word-start guard) takes the whole rest of the
/// line. Each start is matched on its own, with no search shortcut; none when no start does.
std::optional<int32_t> leftmostWholeSuffixStart(
    const Expander& expander, const icu::UnicodeString& line, const ExpanderController& controller)
{
    icu::UnicodeString expression(PatternParser::wordStartGuard());
    expression.append(u"(?:").append(expander.matchPattern(controller)).append(u")$");
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<icu::RegexPattern> pattern(icu::RegexPattern::compile(expression, UREGEX_DOTALL, status));
    const std::unique_ptr<icu::RegexMatcher> matcher(pattern ? pattern->matcher(line, status) : nullptr);
    if (U_FAILURE(status) || !matcher)
        throw std::runtime_error("the expression does not compile");
    matcher->useTransparentBounds(true);
    for (int32_t start = 0; start < line.length(); ++start) {
        matcher->region(start, line.length(), status);
        matcher->setTimeLimit(5000, status);
        const bool whole = matcher->matches(status);
        if (U_FAILURE(status))
            throw std::runtime_error("the expression is too slow to check");
        if (whole)
            return start;
    }
    return std::nullopt;
}

TEST_P(DefaultBundleTest, EveryExpanderExpandsItsAdversarialLinesAsAPlainMatchWould)
{
    // Lines made of the pattern's own literal words make it try a match at every repetition and
    // end a value at every word. Each expands from the leftmost start of the whole line, as a
    // plain match finds it, or, when its pattern backtracks so much that the whole line takes
    // more than the search's budget, fails with the error naming it: never from a later start.
    const ExpanderController library(libraryExpanders());
    for (const auto& expander : bundle().expanders()) {
        const icu::UnicodeString example
            = test::exampleOrLiteralWords(expander->expanderDescription(), expander->pattern());
        const icu::UnicodeString line = test::adversarialLine(expander->pattern(), 4096, example);
        SCOPED_TRACE(describe(*expander) + ", line ending \"" + toUtf8(example) + "\"");
        std::optional<ExpandedExpression> result;
        std::optional<TextRange> matched;
        try {
            result = library.findExpander(line, expander);
            matched = matchedRange(*expander, line, library);
        } catch (const ExpandingError& error) {
            EXPECT_EQ(error.expander(), expander);
            continue;
        }
        ASSERT_TRUE(result.has_value()) << "the example at the end of the line no longer expands";
        ASSERT_TRUE(matched.has_value());
        const auto plain = leftmostWholeSuffixStart(*expander, line, library);
        ASSERT_TRUE(plain.has_value());
        EXPECT_EQ(matched->location, *plain);
        // What comes before the abbreviation stays as typed, whatever the expansion.
        EXPECT_TRUE(result->text.startsWith(line.tempSubString(0, *plain)));
    }
}

INSTANTIATE_TEST_SUITE_P(Bundles, DefaultBundleTest, testing::ValuesIn(App::defaultBundleNames()),
    [](const testing::TestParamInfo<std::string>& info) {
        std::string name;
        for (const char c : info.param)
            if (std::isalnum(static_cast<unsigned char>(c)))
                name += c;
        return name;
    });

using DefaultLibraryTest = DefaultBundlesEnvironment;

TEST_F(DefaultLibraryTest, HoldsTheTenBundlesAsResourcesAndNothingElse)
{
    ASSERT_EQ(App::defaultBundleNames().size(), 10u);
    EXPECT_EQ(defaultLibrary().size(), 10u);
    std::set<std::string> files;
    for (const auto& entry :
        std::filesystem::directory_iterator(bundlePath(App::defaultBundleNames().front())->parent_path()))
        if (entry.path().extension() == ".qlbundle")
            files.insert(entry.path().stem().string());
    const std::set<std::string> names(App::defaultBundleNames().begin(), App::defaultBundleNames().end());
    EXPECT_EQ(files, names);
}

TEST_F(DefaultLibraryTest, IdentifiersAreUniqueSoEmbeddingFindsTheIntendedExpander)
{
    std::map<std::string, std::string> owners;
    for (const auto& expander : libraryExpanders()) {
        const auto identifier = toUtf8(expander->identifier());
        const auto [entry, inserted] = owners.emplace(identifier, toUtf8(expander->name()));
        EXPECT_TRUE(inserted) << "\"" << identifier << "\" names both \"" << entry->second << "\" and \""
                              << toUtf8(expander->name()) << "\"";
    }
}

TEST_F(DefaultLibraryTest, OrdinaryLinesOfCodeExpandToNothing)
{
    // Patterns must ask for something deliberate; a loose one would swallow plain lines.
    const ExpanderController library(libraryExpanders());
    for (const char* line : { "", "x", "let total = price * quantity", "return result;", "}", "print(value)",
             "// TODO: tidy this up", "<p>Hello</p>", "$count += 1;", "self.title = title" }) {
        SCOPED_TRACE(std::string("line \"") + line + "\"");
        std::optional<ExpandedExpression> expanded;
        ASSERT_NO_THROW(expanded = library.findExpander(fromUtf8(line)));
        EXPECT_FALSE(expanded.has_value()) << describe(*expanded);
    }
}

TEST_F(DefaultLibraryTest, LongLinesGiveTheWholeLinesMatchOrTheErrorNamingTheExpanderThatRanOut)
{
    // However long the line, the abbreviation is the leftmost match of the whole line: never a
    // shorter one, another expander's or none because a match took much work. A pattern whose
    // values, read at the start found, try every split of a long line runs out of the search's
    // budget and says so, naming its expander, as on a short line.
    const auto repeated = [](const char16_t* text, int32_t units) {
        icu::UnicodeString line;
        while (line.length() < units)
            line.append(text);
        return line;
    };
    // Words that each could end the condition, the last one a letter.
    const auto condition = [&](int32_t units) {
        icu::UnicodeString words = repeated(u"a b ", units);
        words.truncate(units - 1);
        return words.append(u'z');
    };
    const auto logger
        = test::templateExpander(u"log ${a:text}${b:text}: ${c:text}", u"log(${a}${b}, ${c})#", u"Logger");
    struct Case {
        const char* name;
        icu::UnicodeString line;
        std::optional<icu::UnicodeString> expanded; // none: nothing expands, or the error below
        const char* ranOut = nullptr; // the name of the expander the error names
    };
    const Case cases[] = {
        { "a Swift condition longer than the line's end", u"if " + condition(1026),
            u"if " + condition(1026) + u" {\n    \n}" },
        { "a guard longer than the line's end", u"guard " + condition(1021),
            u"guard " + condition(1021) + u" else {\n    return\n}" },
        { "two text values at 1,024 units", u"log ab: " + repeated(u"x", 1016),
            u"log(ab, " + repeated(u"x", 1016) + u")" },
        { "two text values at 1,025 units", u"log ab: " + repeated(u"x", 1017),
            u"log(ab, " + repeated(u"x", 1017) + u")" },
        { "two text values past the budget", u"log ab: " + repeated(u"x", 100000), std::nullopt, "Logger" },
        // Found without a match, in one pass over the line, where trying every split ran out.
        { "values no closing part takes", u"for x in " + repeated(u"items where a and b, ", 65536), std::nullopt },
        { "ordinary code before a loop", repeated(u"for i in 0..<n { total += i }; ", 4900) + u"for item in items",
            repeated(u"for i in 0..<n { total += i }; ", 4900) + u"for item in items {\n    \n}" },
        { "nothing to expand", repeated(u"let total = price * quantity; ", 65536), std::nullopt },
    };
    auto expanders = libraryExpanders();
    expanders.push_back(logger);
    const ExpanderController library(expanders);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<ExpandedExpression> expanded;
        try {
            expanded = library.findExpander(c.line);
            EXPECT_EQ(c.ranOut, nullptr) << "no error";
        } catch (const ExpandingError& error) {
            ASSERT_NE(c.ranOut, nullptr) << toUtf8(error.userErrorDescription());
            ASSERT_TRUE(error.expander());
            EXPECT_EQ(toUtf8(error.expander()->name()), c.ranOut);
        }
        ASSERT_EQ(expanded.has_value(), c.expanded.has_value());
        if (expanded) {
            EXPECT_TRUE(expanded->text == *c.expanded)
                << "ends in " << toUtf8(expanded->text.tempSubString(std::max(0, expanded->text.length() - 40)));
        }
    }
}

/// Whole expansions of the most used expanders, recorded in tests/data: a change to a bundle
/// or to the engine that alters what users get shows up here as a reviewable diff.
TEST_F(DefaultLibraryTest, MostUsedExpandersExpandAsRecorded)
{
    auto cases = nlohmann::ordered_json::parse(readFile(expansionsFile()));
    ASSERT_TRUE(cases.is_array());
    ASSERT_FALSE(cases.empty());
    const bool regenerate = test::regeneratingRecordedExpansions();
    for (auto& recorded : cases) {
        const auto bundleName = recorded.at("bundle").get<std::string>();
        const auto input = recorded.at("input").get<std::string>();
        SCOPED_TRACE(bundleName + ": \"" + input + "\"");
        const auto found = defaultLibrary().find(bundleName);
        ASSERT_NE(found, defaultLibrary().end());
        const ExpanderController controller(expandersOf(*found->second));
        std::optional<ExpandedExpression> expanded;
        ASSERT_NO_THROW(expanded = controller.findExpander(fromUtf8(input)));
        ASSERT_TRUE(expanded.has_value());
        test::checkRecordedExpansion(recorded, *expanded, regenerate);
    }
    if (regenerate)
        test::writeFile(expansionsFile(), cases.dump(2, ' ', false) + "\n");
}

} // namespace
} // namespace quillet
