#include "support/ProcessRunner.h"
#include "support/TestSupport.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace quillet {
namespace {

namespace fs = std::filesystem;

/// Runs the built `quillet` program as a user would, with its own data folder.
class QuilletCommandTest : public ::testing::Test {
protected:
    test::ProcessResult run(const std::vector<std::string>& arguments, const std::string& input = {})
    {
        return test::runProcess(QUILLET_PROGRAM, arguments, input,
            { { "XDG_DATA_HOME", m_data.path().string() }, { "XDG_CONFIG_HOME", (m_data.path() / "config").string() },
                { "XDG_CACHE_HOME", (m_data.path() / "cache").string() } });
    }

    fs::path libraryFile() const { return m_data.path() / "com.orvanta.Quillet" / "bundles.qlbundles"; }

    /// Stores a library of one bundle holding the given expander objects.
    void writeLibrary(const std::vector<nlohmann::json>& expanders)
    {
        fs::create_directories(libraryFile().parent_path());
        const nlohmann::json library = { { "bundles",
            { { { "name", "Test" }, { "description", "" }, { "is_enabled", true }, { "supported_languages", { "any" } },
                { "expanders", nlohmann::json(expanders) } } } } };
        test::writeFile(libraryFile(), library.dump(2));
    }

    static nlohmann::json expander(const std::string& name, const std::string& pattern, const std::string& output,
        const std::vector<std::string>& languages = { "any" }, const std::string& identifier = "")
    {
        return { { "name", name }, { "description", "" }, { "identifier", identifier }, { "pattern", pattern },
            { "output_template", output }, { "is_enabled", true }, { "supported_languages", languages } };
    }

    test::TempDir m_data;
};

TEST_F(QuilletCommandTest, TheFirstRunInstallsTheTenDefaultBundles)
{
    ASSERT_FALSE(fs::exists(libraryFile()));

    run({ "expand", "no abbreviation here at all" });

    ASSERT_TRUE(fs::exists(libraryFile()));
    const auto library = nlohmann::json::parse(test::readFile(libraryFile()));
    EXPECT_EQ(library.at("bundles").size(), 10u);
}

TEST_F(QuilletCommandTest, PrintsTheExpansionAsCompactJsonWithTextFirst)
{
    writeLibrary({ expander("Print", "p ${value:text}", "print(${value})#") });

    const auto result = run({ "expand", "p 42" });

    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    EXPECT_EQ(result.standardOutput, "{\"text\":\"print(42)\",\"cursorPosition\":9}\n");
}

TEST_F(QuilletCommandTest, TheRecordFormNamesTheCaretCursorPosition)
{
    writeLibrary({ expander("Call", "call ${f:word}", "${f}(#)") });

    const auto result = run({ "expand", "--record", "x = call run" });

    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    EXPECT_EQ(result.standardOutput, "{\"text\":\"x = run()\",\"cursor_position\":8}\n");
}

TEST_F(QuilletCommandTest, TheExtensionPrefersTheExpandersOfItsLanguage)
{
    // The longer match of another language would win on length alone.
    writeLibrary({ expander("Long", "say hello", "any", { "js" }), expander("Swift", "hello", "swift", { "swift" }),
        expander("Python", "hello", "python", { "python" }) });

    const auto swift = run({ "expand", "--extension", "swift", "say hello" });
    const auto python = run({ "expand", "--extension=py", "say hello" });
    const auto none = run({ "expand", "say hello" });

    EXPECT_EQ(nlohmann::json::parse(swift.standardOutput).at("text"), "say swift");
    EXPECT_EQ(nlohmann::json::parse(python.standardOutput).at("text"), "say python");
    EXPECT_EQ(nlohmann::json::parse(none.standardOutput).at("text"), "any");
}

TEST_F(QuilletCommandTest, ReadsStandardInputWithoutItsTrailingLineFeed)
{
    writeLibrary({ expander("Print", "p ${value:text}", "print(${value})") });

    const auto fromStdin = run({ "expand" }, "p 7\n");
    const auto fromDash = run({ "expand", "-" }, "p 8\n");

    EXPECT_EQ(fromStdin.standardOutput, "{\"text\":\"print(7)\",\"cursorPosition\":8}\n");
    EXPECT_EQ(fromDash.standardOutput, "{\"text\":\"print(8)\",\"cursorPosition\":8}\n");
}

TEST_F(QuilletCommandTest, NothingToExpandPrintsNothingAndExitsWithOne)
{
    writeLibrary({ expander("Print", "p ${value:text}", "print(${value})") });

    const auto unmatched = run({ "expand", "nothing matches" });
    const auto twoLines = run({ "expand", "first\np 1" });

    EXPECT_EQ(unmatched.exitStatus, 1);
    EXPECT_EQ(unmatched.standardOutput, "");
    EXPECT_EQ(twoLines.exitStatus, 1);
    EXPECT_EQ(twoLines.standardOutput, "");
}

TEST_F(QuilletCommandTest, AnUnknownFilterReportsItsErrorWithTheExpanderAndExitsWithTwo)
{
    writeLibrary({ expander("Broken", "br ${x:word}", "${x.nope}") });

    const auto result = run({ "expand", "br a" });

    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.standardOutput, "");
    EXPECT_EQ(result.standardError, "No filter found\n\"nope\" filter had not been found.\n\nExpander: Broken\n");
}

TEST_F(QuilletCommandTest, ACorruptLibraryExitsWithThreeAndStaysByteForByte)
{
    const std::string corrupt = "{\"bundles\": [ {\"name\": \"half\", ";
    fs::create_directories(libraryFile().parent_path());
    test::writeFile(libraryFile(), corrupt);

    const auto result = run({ "expand", "anything" });

    EXPECT_EQ(result.exitStatus, 3);
    EXPECT_FALSE(result.standardError.empty());
    EXPECT_EQ(test::readFile(libraryFile()), corrupt);
}

TEST_F(QuilletCommandTest, TheCaretOffsetCountsUtf16CodeUnits)
{
    // The thumbs-up with a skin tone is one character but four UTF-16 code units.
    writeLibrary({ expander("Like", "like", "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD#!") });

    const auto result = run({ "expand", "like" });

    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    const auto json = nlohmann::json::parse(result.standardOutput);
    EXPECT_EQ(json.at("text"), "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD!");
    EXPECT_EQ(json.at("cursorPosition"), 4);
}

TEST_F(QuilletCommandTest, TabsOfTheTemplateBecomeTheDefaultIndentUnitOfFourSpaces)
{
    writeLibrary({ expander("Block", "block ${x:word}", "${x} {\n\t#\n}") });

    const auto result = run({ "expand", "  block if" });

    EXPECT_EQ(result.standardOutput, "{\"text\":\"  if {\\n      \\n  }\",\"cursorPosition\":13}\n");
}

TEST_F(QuilletCommandTest, TheIndentationComesFromTheDesktopApplicationsSettingsFile)
{
    writeLibrary({ expander("Block", "block ${x:word}", "${x} {\n\t#\n}") });
    const auto settings = m_data.path() / "config" / "orvanta" / "Quillet.ini";

    struct Case {
        std::string file;
        std::string output;
    };
    const std::vector<Case> cases {
        { "[General]\nIndentSize=2\n", "{\"text\":\"if {\\n  \\n}\",\"cursorPosition\":7}\n" },
        { "[General]\nIndentWithSpaces=false\n", "{\"text\":\"if {\\n\\t\\n}\",\"cursorPosition\":6}\n" },
        // Values the settings writer would not write leave the default in place.
        { "[General]\nIndentSize=two\nIndentWithSpaces=maybe\n",
            "{\"text\":\"if {\\n    \\n}\",\"cursorPosition\":9}\n" },
        // Keys of another section are not the application's.
        { "[Other]\nIndentSize=2\n", "{\"text\":\"if {\\n    \\n}\",\"cursorPosition\":9}\n" },
    };
    for (const auto& [file, output] : cases) {
        fs::create_directories(settings.parent_path());
        test::writeFile(settings, file);
        EXPECT_EQ(run({ "expand", "block if" }).standardOutput, output) << file;
    }
}

TEST_F(QuilletCommandTest, BadUsageExitsWithSixtyFour)
{
    EXPECT_EQ(run({ "explode" }).exitStatus, 64);
    EXPECT_EQ(run({ "expand", "--extension" }).exitStatus, 64);
    EXPECT_EQ(run({ "expand", "--bogus", "x" }).exitStatus, 64);
    EXPECT_EQ(run({ "expand", "one", "two" }).exitStatus, 64);
    EXPECT_NE(run({ "explode" }).standardError.find("usage: quillet expand"), std::string::npos);
}

// A run keeps what it derived from the patterns for the next run. After the library has
// changed, the next run must answer exactly as a first run would: with the result, or with the
// first unparsable pattern's error in list order, wherever that pattern sits.
TEST_F(QuilletCommandTest, AnEditedLibraryExpandsAsOnAFirstRun)
{
    using Library = std::vector<nlohmann::json>;
    const auto word = [](const std::string& name, const std::string& literal, const std::string& identifier = "") {
        return expander(name, literal + " ${x:word}", name + "(${x})", { "any" }, identifier);
    };
    const auto broken = expander("Broken", "brk ${x:nosuchtype}", "never");
    const auto embedding = expander("Embedding", "qq ${y:exp(inner)}", "E[${y}]");
    struct Case {
        const char* name;
        Library before;
        Library after;
        const char* text;
    };
    const Case cases[] = {
        { "unchanged", { word("A", "fa"), word("B", "fb") }, { word("A", "fa"), word("B", "fb") }, "fb 1" },
        { "a literal changed", { word("A", "fa"), word("B", "fb") }, { word("A", "fa"), word("B", "fc") }, "fc 1" },
        { "a pattern broke before the match", { word("Broken", "brk"), word("A", "fa") }, { broken, word("A", "fa") },
            "fa 1" },
        { "a pattern broke after the match", { word("A", "fa"), word("Broken", "brk") }, { word("A", "fa"), broken },
            "fa 1" },
        { "a broken pattern mended", { broken, word("A", "fa") }, { word("Broken", "brk"), word("A", "fa") }, "brk 1" },
        { "an embedded pattern changed", { word("Inner", "longliteral", "inner"), embedding },
            { word("Inner", "otherwords", "inner"), embedding }, "qq otherwords 1" },
        { "an identifier moved", { word("Inner", "fa", "inner"), word("Other", "fb"), embedding },
            { word("Inner", "fa"), word("Other", "fb", "inner"), embedding }, "qq fb 1" },
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        fs::remove_all(m_data.path() / "cache");
        writeLibrary(testCase.after);
        const auto firstRun = run({ "expand", testCase.text });

        fs::remove_all(m_data.path() / "cache");
        writeLibrary(testCase.before);
        run({ "expand", testCase.text });
        ASSERT_FALSE(fs::is_empty(m_data.path() / "cache" / "com.orvanta.Quillet"));
        writeLibrary(testCase.after);
        const auto afterTheEdit = run({ "expand", testCase.text });

        EXPECT_EQ(afterTheEdit.exitStatus, firstRun.exitStatus);
        EXPECT_EQ(afterTheEdit.standardOutput, firstRun.standardOutput);
        EXPECT_EQ(afterTheEdit.standardError, firstRun.standardError);
        // And again, now from what the edited library's run kept.
        const auto kept = run({ "expand", testCase.text });
        EXPECT_EQ(kept.standardOutput, firstRun.standardOutput);
        EXPECT_EQ(kept.standardError, firstRun.standardError);
    }
}

// A long line of ordinary code ending in an abbreviation expands exactly as the abbreviation
// alone does, with the code kept in front, whatever the line's length: in each language, with the
// default library, read from standard input.
TEST_F(QuilletCommandTest, LongLinesOfOrdinaryCodeExpandExactlyAsTheirAbbreviation)
{
    struct Case {
        const char* extension;
        const char* code; // repeated to fill the line
        const char* abbreviation;
    };
    const Case cases[] = {
        { "swift", "let x = items.map { $0 * 2 }; for i in 0..<n { total += i }; ", "for item in items" },
        { "py", "total = sum(x * 2 for x in items if x > 0); print(total, end=\"\"); ", "ex greet fr marie" },
        { "php", "$total = $total + $price * 2; echo $total; ", "foreach ($users as $user)" },
        { "js", "const total = items.map((x) => x * 2).filter(Boolean); console.log(total); ", "ex greet fr marie" },
    };
    for (const auto& entry : cases) {
        const auto alone
            = run({ "expand", "--extension", entry.extension, "-" }, std::string(entry.abbreviation) + "\n");
        ASSERT_EQ(alone.exitStatus, 0) << entry.extension << ": " << alone.standardError;
        const auto expected = nlohmann::json::parse(alone.standardOutput);
        for (const std::size_t size : { std::size_t(61) << 10, std::size_t(1) << 20 }) {
            std::string code;
            while (code.size() < size)
                code += entry.code;
            SCOPED_TRACE(std::string(entry.extension) + ", " + std::to_string(code.size()) + " bytes of code");
            const auto result
                = run({ "expand", "--extension", entry.extension, "-" }, code + entry.abbreviation + "\n");
            ASSERT_EQ(result.exitStatus, 0) << result.standardError;
            const auto json = nlohmann::json::parse(result.standardOutput);
            EXPECT_TRUE(json.at("text").get<std::string>() == code + expected.at("text").get<std::string>());
            EXPECT_EQ(json.at("cursorPosition"), expected.at("cursorPosition").get<int64_t>() + int64_t(code.size()));
        }
    }
}

} // namespace
} // namespace quillet
