#include "languages/ProgrammingLanguageStore.h"
#include "languages/AnyProgrammingLanguage.h"
#include "languages/KeywordsHighlightingPattern.h"
#include "languages/ProgrammingLanguageRecord.h"
#include "languages/StringHighlightingPattern.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <typeinfo>
#include <vector>

namespace quillet {
namespace {

std::vector<std::u16string> idsOf(const ProgrammingLanguageList& languages)
{
    std::vector<std::u16string> ids;
    for (const auto& language : languages) {
        const auto id = language->id();
        ids.emplace_back(id.getBuffer(), std::size_t(id.length()));
    }
    return ids;
}

// What a language's highlighting is made of, pattern by pattern: "string" or the keyword
// pattern's first keyword (which tells the lists apart).
std::vector<std::u16string> highlightingOf(const ProgrammingLanguage& language)
{
    std::vector<std::u16string> kinds;
    for (const auto& pattern : language.highlightingPatterns()) {
        if (dynamic_cast<const StringHighlightingPattern*>(pattern.get())) {
            kinds.emplace_back(u"string");
        } else if (const auto* keywords = dynamic_cast<const KeywordsHighlightingPattern*>(pattern.get())) {
            const auto& first = keywords->keywords().front();
            kinds.emplace_back(u"keywords:" + std::u16string(first.getBuffer(), std::size_t(first.length())));
        } else {
            kinds.emplace_back(u"other");
        }
    }
    return kinds;
}

struct CatalogueRow {
    const char* name;
    std::u16string id;
    std::u16string displayName;
    std::vector<std::u16string> extensions;
    std::vector<std::u16string> highlighting;

    // Names the case in failure messages instead of dumping its bytes.
    friend void PrintTo(const CatalogueRow& c, std::ostream* out) { *out << c.name; }
};

class Catalogue : public ::testing::TestWithParam<std::pair<std::size_t, CatalogueRow>> { };

TEST_P(Catalogue, EachRowHoldsItsIdNameExtensionsAndPatternsInStoreOrder)
{
    const auto& [index, row] = GetParam();
    const auto& languages = ProgrammingLanguageStore::shared().allLanguages();
    ASSERT_LT(index, languages.size());
    const auto& language = *languages[index];

    EXPECT_EQ(language.id(), icu::UnicodeString(row.id.c_str()));
    EXPECT_EQ(language.name(), icu::UnicodeString(row.displayName.c_str()));
    ASSERT_FALSE(language.extensions().isAll());
    std::vector<std::u16string> extensions;
    for (const auto& extension : language.extensions().extensions())
        extensions.emplace_back(extension.getBuffer(), std::size_t(extension.length()));
    EXPECT_EQ(extensions, row.extensions);
    EXPECT_EQ(highlightingOf(language), row.highlighting);
}

const std::vector<CatalogueRow> catalogueRows = {
    { "C", u"c", u"C", { u"c", u"h" }, { u"string", u"keywords:auto" } },
    { "CSharp", u"csharp", u"C#", { u"cs" }, { u"string", u"keywords:abstract" } },
    { "Cpp", u"cpp", u"C++", { u"cpp", u"h" }, { u"string", u"keywords:alignas" } },
    { "Swift", u"swift", u"Swift", { u"swift", u"storyboard", u"xcodeproj", u"xcassets" },
        { u"string", u"keywords:associatedtype" } },
    { "ObjectiveC", u"objc", u"Objective C", { u"m", u"h", u"storyboard", u"xcodeproj", u"xcassets" },
        { u"string", u"keywords:auto" } },
    { "Java", u"java", u"Java", { u"java" }, { u"string", u"keywords:abstract" } },
    { "Php", u"php", u"PHP", { u"php" }, { u"string", u"keywords:__halt_compiler()" } },
    { "Ruby", u"ruby", u"Ruby", { u"rb", u"ruby" }, { u"string", u"keywords:__ENCODING__" } },
    { "Python", u"python", u"Python", { u"py" }, { u"string", u"keywords:False" } },
    { "Html", u"html", u"HTML", { u"html" }, {} },
    { "Css", u"css", u"CSS", { u"css", u"less", u"html" }, {} },
    { "JavaScript", u"js", u"JavaScript", { u"js", u"html" }, { u"string", u"keywords:abstract" } },
    { "Json", u"json", u"JSON", { u"json" }, { u"string" } },
    { "Xml", u"xml", u"XML", { u"xml" }, { u"string" } },
    { "Bash", u"bash", u"Bash", { u"sh" }, { u"string" } },
    { "Go", u"go", u"Go", { u"go" }, { u"keywords:break" } },
    { "Elixir", u"elixir", u"Elixir", { u"ex" }, { u"keywords:true" } },
};

std::vector<std::pair<std::size_t, CatalogueRow>> numberedRows()
{
    std::vector<std::pair<std::size_t, CatalogueRow>> rows;
    for (std::size_t i = 0; i < catalogueRows.size(); ++i)
        rows.emplace_back(i, catalogueRows[i]);
    return rows;
}

INSTANTIATE_TEST_SUITE_P(ProgrammingLanguageStore, Catalogue, ::testing::ValuesIn(numberedRows()),
    [](const auto& info) { return std::string(info.param.second.name); });

TEST(ProgrammingLanguageStore, HoldsEighteenLanguagesFromCToAnyLanguage)
{
    const auto& languages = ProgrammingLanguageStore::shared().allLanguages();

    ASSERT_EQ(languages.size(), 18u);
    EXPECT_EQ(languages.front()->name(), u16(u"C"));
    EXPECT_EQ(languages.back()->id(), u16(u"any"));
    EXPECT_EQ(languages.back()->name(), u16(u"Any Language"));
    EXPECT_TRUE(languages.back()->extensions().isAll());
    EXPECT_TRUE(languages.back()->highlightingPatterns().empty());
}

TEST(ProgrammingLanguageStore, IsOneInstanceWithUniqueIds)
{
    EXPECT_EQ(&ProgrammingLanguageStore::shared(), &ProgrammingLanguageStore::shared());
    auto ids = idsOf(ProgrammingLanguageStore::shared().allLanguages());
    std::ranges::sort(ids);
    EXPECT_EQ(std::ranges::adjacent_find(ids), ids.end());
}

TEST(ProgrammingLanguageStore, CatalogueTypesBuildTheirOwnRows)
{
    EXPECT_EQ(HtmlProgrammingLangauge().id(), u16(u"html"));
    EXPECT_EQ(AnyProgrammingLanguage().name(), u16(u"Any Language"));
    const auto& languages = ProgrammingLanguageStore::shared().allLanguages();
    EXPECT_EQ(typeid(*languages[1]), typeid(CSharpProgrammingLangauge));
    EXPECT_EQ(typeid(*languages[4]), typeid(ObjectiveCProgrammingLangauge));
    EXPECT_EQ(typeid(*languages[17]), typeid(AnyProgrammingLanguage));
}

TEST(ProgrammingLanguageStore, MemberwiseConstructionKeepsTheGivenFields)
{
    const SwiftProgrammingLangauge custom(
        u"swift", u"Another Swift", ProgrammingLanguageExtension::given({ u"sw" }), {});

    EXPECT_EQ(custom.name(), u16(u"Another Swift"));
    EXPECT_TRUE(custom.accepts(u"sw"));
    EXPECT_FALSE(custom.accepts(u"swift"));
    EXPECT_TRUE(custom.highlightingPatterns().empty());
}

TEST(ProgrammingLanguageStore, FindsALanguageOnlyByItsExactId)
{
    const auto& store = ProgrammingLanguageStore::shared();

    ASSERT_TRUE(store.language(u"objc"));
    EXPECT_EQ((*store.language(u"objc"))->name(), u16(u"Objective C"));
    ASSERT_TRUE(store.language(u"any"));
    EXPECT_EQ((*store.language(u"any"))->name(), u16(u"Any Language"));
    EXPECT_FALSE(store.language(u"OBJC"));
    EXPECT_FALSE(store.language(u"Objective C"));
    EXPECT_FALSE(store.language(u" objc"));
    EXPECT_FALSE(store.language(u""));
}

struct AcceptingCase {
    const char* name;
    std::u16string extension;
    std::vector<std::u16string> expectedIds;

    // Names the case in failure messages instead of dumping its bytes.
    friend void PrintTo(const AcceptingCase& c, std::ostream* out) { *out << c.name; }
};

class LanguagesAccepting : public ::testing::TestWithParam<AcceptingCase> { };

TEST_P(LanguagesAccepting, ListsTheAcceptingLanguagesInStoreOrderEndingWithAnyLanguage)
{
    const auto& c = GetParam();
    const icu::UnicodeString extension = u16(c.extension);
    EXPECT_EQ(idsOf(ProgrammingLanguageStore::shared().languages(extension)), c.expectedIds);
}

INSTANTIATE_TEST_SUITE_P(ProgrammingLanguageStore, LanguagesAccepting,
    ::testing::Values(AcceptingCase { "HeaderFiles", u"h", { u"c", u"cpp", u"objc", u"any" } },
        AcceptingCase { "Html", u"html", { u"html", u"css", u"js", u"any" } },
        AcceptingCase { "Storyboard", u"storyboard", { u"swift", u"objc", u"any" } },
        AcceptingCase { "Rb", u"rb", { u"ruby", u"any" } }, AcceptingCase { "Ruby", u"ruby", { u"ruby", u"any" } },
        AcceptingCase { "ShellScript", u"sh", { u"bash", u"any" } },
        AcceptingCase { "LanguageIdIsNotAnExtension", u"bash", { u"any" } },
        AcceptingCase { "UpperCaseH", u"H", { u"any" } }, AcceptingCase { "LeadingDotIsKept", u".swift", { u"any" } },
        AcceptingCase { "UnknownExtension", u"zig", { u"any" } }, AcceptingCase { "Empty", u"", { u"any" } }),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quillet
