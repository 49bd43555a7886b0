#include "languages/FileNameDetector.h"
#include "languages/ProgrammingLanguageDetector.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillet {
namespace {

// A title source whose two reads answer as configured; a read with no answer fails.
class FakeTitleSource final : public FocusedTitleSource {
public:
    std::optional<icu::UnicodeString> elementTitle;
    std::optional<icu::UnicodeString> windowTitle;
    bool throws = false;
    int windowReads = 0;

    std::optional<icu::UnicodeString> focusedElementTitle() override
    {
        if (throws)
            throw std::runtime_error("no accessibility access");
        return elementTitle;
    }
    std::optional<icu::UnicodeString> focusedWindowTitle() override
    {
        ++windowReads;
        if (throws)
            throw std::runtime_error("no accessibility access");
        return windowTitle;
    }
};

std::vector<std::u16string> languageIdsForTitle(const std::optional<icu::UnicodeString>& title)
{
    std::vector<std::u16string> ids;
    for (const auto& language : ProgrammingLanguageDetector().languages(extensionOfFileName(title))) {
        const auto id = language->id();
        ids.emplace_back(id.getBuffer(), std::size_t(id.length()));
    }
    return ids;
}

TEST(FileNameDetector, TheFocusedElementsTitleWins)
{
    FakeTitleSource source;
    source.elementTitle = u16(u"main.swift — Edited");
    source.windowTitle = u16(u"Project");

    EXPECT_EQ(FileNameDetector(source).fileName(), u16(u"main.swift — Edited"));
    EXPECT_EQ(source.windowReads, 0);
}

TEST(FileNameDetector, AnEmptyTitleThatReadsFineDoesNotLeadToTheWindow)
{
    FakeTitleSource source;
    source.elementTitle = u16(u"");
    source.windowTitle = u16(u"main.cpp");

    const FileNameDetector detector(source);

    EXPECT_EQ(detector.fileName(), u16(u""));
    EXPECT_TRUE(languageIdsForTitle(detector.fileName()).empty());
}

TEST(FileNameDetector, TheWindowsTitleStandsInWhenTheElementsCannotBeRead)
{
    FakeTitleSource source;
    source.windowTitle = u16(u"main.cpp");

    const FileNameDetector detector(source);

    EXPECT_EQ(detector.fileName(), u16(u"main.cpp"));
    EXPECT_EQ(languageIdsForTitle(detector.fileName()), (std::vector<std::u16string> { u"cpp", u"any" }));
}

TEST(FileNameDetector, NoReadableTitleLeavesTheFileNameAbsentAndGivesNoLanguages)
{
    FakeTitleSource source;

    const FileNameDetector detector(source);

    EXPECT_EQ(detector.fileName(), std::nullopt);
    EXPECT_EQ(extensionOfFileName(detector.fileName()), u16(u""));
    EXPECT_TRUE(languageIdsForTitle(detector.fileName()).empty());
}

TEST(FileNameDetector, FailuresThrownByTheSourceAreAbsorbed)
{
    FakeTitleSource source;
    source.throws = true;

    std::optional<FileNameDetector> detector;
    EXPECT_NO_THROW(detector.emplace(source));
    EXPECT_EQ(detector->fileName(), std::nullopt);
    EXPECT_EQ(source.windowReads, 1);
}

TEST(FileNameDetector, WithoutAnInstalledSourceNothingIsRead)
{
    EXPECT_EQ(FileNameDetector().fileName(), std::nullopt);
}

TEST(FileNameDetector, ReadsThroughTheInstalledSource)
{
    auto source = std::make_shared<FakeTitleSource>();
    source->elementTitle = u16(u"index.html");
    FocusedTitleSource::setShared(source);

    const FileNameDetector detector;
    FocusedTitleSource::setShared(nullptr);

    EXPECT_EQ(detector.fileName(), u16(u"index.html"));
    EXPECT_EQ(FileNameDetector().fileName(), std::nullopt);
}

struct TitleCase {
    const char* name;
    std::u16string title;
    std::u16string extension;
    std::vector<std::u16string> languageIds;

    // Names the case in failure messages instead of dumping its bytes.
    friend void PrintTo(const TitleCase& c, std::ostream* out) { *out << c.name; }
};

class ExtensionRule : public ::testing::TestWithParam<TitleCase> { };

TEST_P(ExtensionRule, TakesTheLastExtensionOfTheFirstDottedName)
{
    const auto& c = GetParam();
    const std::optional<icu::UnicodeString> title(u16(c.title));

    EXPECT_EQ(extensionOfFileName(title), u16(c.extension));
    EXPECT_EQ(languageIdsForTitle(title), c.languageIds);
}

INSTANTIATE_TEST_SUITE_P(FileNameDetector, ExtensionRule,
    ::testing::Values(TitleCase { "EditedDocument", u"main.swift — Edited", u"swift", { u"swift", u"any" } },
        TitleCase { "Html", u"index.html", u"html", { u"html", u"css", u"js", u"any" } },
        TitleCase { "Path", u"/src/app/main.m", u"m", { u"objc", u"any" } },
        TitleCase { "NoFileName", u"Untitled", u"", {} },
        TitleCase { "VersionNumberComesFirst", u"draft 1.2 of notes.txt", u"2", { u"any" } },
        TitleCase { "DoubleExtension", u"archive.tar.gz", u"gz", { u"any" } },
        TitleCase { "ExtensionsAreCaseSensitive", u"File.H", u"H", { u"any" } },
        TitleCase { "TestFileOfJavaScript", u"main.test.js", u"js", { u"js", u"any" } },
        TitleCase { "MinifiedJavaScript", u"jquery.min.js — project", u"js", { u"js", u"any" } },
        TitleCase { "ModuleOfTypeScript", u"app.module.ts", u"ts", { u"any" } },
        TitleCase { "NonLatinFileName", u"données.py", u"py", { u"python", u"any" } },
        TitleCase { "UnderscoresAreWordCharacters", u"my_file.rb [modified]", u"rb", { u"ruby", u"any" } },
        TitleCase { "NoDottedNameFallsBackToThePath", u"notes .sh", u"sh", { u"bash", u"any" } },
        TitleCase { "HiddenFileHasNoExtension", u"~/.bashrc", u"", {} },
        TitleCase { "TrailingDotHasNoExtension", u"Untitled.", u"", {} },
        TitleCase { "DottedFolderInAPath", u"*/home/me/site.v2/index.php - Mousepad", u"php", { u"php", u"any" } },
        TitleCase { "DottedFolderOfAFileWithoutExtension", u"/srv/app.d/Makefile", u"", {} },
        TitleCase { "Empty", u"", u"", {} }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProgrammingLanguageDetector, GivesNoLanguagesWithoutAnExtensionAndTheAcceptingOnesOtherwise)
{
    const ProgrammingLanguageDetector detector;

    EXPECT_TRUE(detector.languages(std::nullopt).empty());
    EXPECT_TRUE(detector.languages(u16(u"")).empty());
    const auto languages = detector.languages(u16(u"h"));
    ASSERT_EQ(languages.size(), 4u);
    EXPECT_EQ(languages[0]->id(), u16(u"c"));
    EXPECT_EQ(languages[1]->id(), u16(u"cpp"));
    EXPECT_EQ(languages[2]->id(), u16(u"objc"));
    EXPECT_EQ(languages[3]->id(), u16(u"any"));
}

} // namespace
} // namespace quillet

namespace quillet {
namespace {

TEST(FileNameDetector, ATitleNamesAFileWhenItsLastWordHasAnExtension)
{
    const std::vector<std::pair<std::u16string, bool>> cases {
        { u"main.swift", true },
        { u"/home/me/site.v2/index.php", true },
        { u"*/home/me/site.v2/index.php - Mousepad", false },
        { u"Editing main.swift ", true },
        { u"EditorSourceView", false },
        { u"/home/me/site.v2/Makefile", false },
        { u"~/.bashrc", false },
        { u"", false },
    };
    for (const auto& [title, expected] : cases)
        EXPECT_EQ(namesAFile(u16(title)), expected) << toUtf8(u16(title));
}

} // namespace
} // namespace quillet
