#include "library/ProgrammingLanguageCatalogue.h"
#include "library/Bundle.h"
#include "library/ProgrammingLanguageContainer.h"
#include "library/SupportedLanguages.h"

#include "support/FakeExpander.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <map>

namespace quillet {
namespace {

/// Knows the languages it was given; counts the questions.
class MapCatalogue final : public ProgrammingLanguageCatalogue {
public:
    explicit MapCatalogue(std::map<std::u16string, ProgrammingLanguagePtr> languages)
        : m_languages(std::move(languages))
    {
    }
    std::optional<ProgrammingLanguagePtr> language(const icu::UnicodeString& id) const override
    {
        ++questions;
        const auto found = m_languages.find(toU16(id));
        if (found == m_languages.end())
            return std::nullopt;
        return found->second;
    }
    mutable int questions = 0;

private:
    static std::u16string toU16(const icu::UnicodeString& text) { return { text.getBuffer(), size_t(text.length()) }; }
    std::map<std::u16string, ProgrammingLanguagePtr> m_languages;
};

/// Puts a catalogue in place for one test and the program's own back afterwards.
class InstalledCatalogue {
public:
    explicit InstalledCatalogue(const ProgrammingLanguageCatalogue& catalogue)
        : m_previous(ProgrammingLanguageCatalogue::installed())
    {
        ProgrammingLanguageCatalogue::install(&catalogue);
    }
    ~InstalledCatalogue() { ProgrammingLanguageCatalogue::install(m_previous); }
    InstalledCatalogue(const InstalledCatalogue&) = delete;
    InstalledCatalogue& operator=(const InstalledCatalogue&) = delete;

private:
    const ProgrammingLanguageCatalogue* m_previous;
};

TEST(ProgrammingLanguageCatalogue, TheProgramsOwnCatalogueIsInstalledBeforeMain)
{
    ASSERT_NE(ProgrammingLanguageCatalogue::installed(), nullptr);
    const auto swift = ProgrammingLanguageCatalogue::installed()->language(u16(u"swift"));
    ASSERT_TRUE(swift);
    EXPECT_EQ((*swift)->name(), u16(u"Swift"));
}

TEST(ProgrammingLanguageCatalogue, RecordsResolveTheirIdentifiersWithTheInstalledOne)
{
    const auto dart = std::make_shared<test::FakeLanguage>(u16(u"dart"));
    const auto any = std::make_shared<test::FakeLanguage>(u16(u"any"));
    const MapCatalogue catalogue({ { u"dart", dart }, { u"any", any } });
    const InstalledCatalogue installed(catalogue);

    const ProgrammingLanguageContainer known(u16(u"dart"));
    const ProgrammingLanguageContainer unknown(u16(u"swift"));
    ASSERT_TRUE(known.programmingLanguage);
    EXPECT_EQ(*known.programmingLanguage, dart);
    EXPECT_FALSE(unknown.programmingLanguage); // the program's store knows it; the installed one does not
    EXPECT_EQ(unknown.identifier, u16(u"swift"));

    // A new record's Any Language is the installed catalogue's too.
    const Bundle bundle;
    ASSERT_EQ(bundle.supportedLanguages().size(), 1u);
    EXPECT_EQ(bundle.supportedLanguages().front(), any);
    EXPECT_EQ(catalogue.questions, 3);
}

} // namespace
} // namespace quillet
