#include "library/ProgrammingLanguageCocoaAdapter.h"
#include "languages/ProgrammingLanguageStore.h"
#include "library/ProgrammingLanguageContainer.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace quillet {
namespace {

// Keeps its languages as entries, the way the expander record does: entries that name no
// language are kept but not reported, and every write is counted.
class FakeExpander final : public SupportedLanguagesHolder {
public:
    std::vector<ProgrammingLanguageContainer> entries;
    int writes = 0;

    ProgrammingLanguageList supportedLanguages() const override
    {
        ProgrammingLanguageList languages;
        for (const auto& entry : entries) {
            if (entry.programmingLanguage)
                languages.push_back(*entry.programmingLanguage);
        }
        return languages;
    }

    void setSupportedLanguages(const ProgrammingLanguageList& languages) override
    {
        entries.clear();
        for (const auto& language : languages)
            entries.emplace_back(language);
        ++writes;
    }

    std::vector<std::u16string> ids() const
    {
        std::vector<std::u16string> ids;
        for (const auto& entry : entries)
            ids.emplace_back(entry.identifier.getBuffer(), std::size_t(entry.identifier.length()));
        return ids;
    }
};

ProgrammingLanguagePtr storeLanguage(const char16_t* id)
{
    return *ProgrammingLanguageStore::shared().language(id);
}

class ProgrammingLanguageCocoaAdapterTest : public ::testing::Test {
protected:
    std::shared_ptr<FakeExpander> m_expander = std::make_shared<FakeExpander>();
    ProgrammingLanguageCocoaAdapter m_swift { storeLanguage(u"swift"), m_expander };
};

TEST_F(ProgrammingLanguageCocoaAdapterTest, AnswersAsTheWrappedLanguage)
{
    EXPECT_EQ(m_swift.id(), u16(u"swift"));
    EXPECT_EQ(m_swift.name(), u16(u"Swift"));
    EXPECT_TRUE(m_swift.accepts(u"storyboard"));
    EXPECT_EQ(m_swift.highlightingPatterns(), storeLanguage(u"swift")->highlightingPatterns());
    EXPECT_TRUE(m_swift == *storeLanguage(u"swift"));
}

TEST_F(ProgrammingLanguageCocoaAdapterTest, ChosenReadsWhetherTheExpanderSupportsTheLanguage)
{
    EXPECT_FALSE(m_swift.chosen());

    m_expander->entries = { ProgrammingLanguageContainer(storeLanguage(u"objc")),
        ProgrammingLanguageContainer(storeLanguage(u"swift")), ProgrammingLanguageContainer(storeLanguage(u"swift")) };

    EXPECT_TRUE(m_swift.chosen());
}

TEST_F(ProgrammingLanguageCocoaAdapterTest, ChoosingAppendsEachTimeAndUnchoosingRemovesOnlyTheFirst)
{
    m_expander->entries = { ProgrammingLanguageContainer(storeLanguage(u"any")) };

    m_swift.setChosen(true);
    m_swift.setChosen(true);
    EXPECT_EQ(m_expander->ids(), (std::vector<std::u16string> { u"any", u"swift", u"swift" }));

    m_swift.setChosen(false);
    EXPECT_EQ(m_expander->ids(), (std::vector<std::u16string> { u"any", u"swift" }));
    EXPECT_TRUE(m_swift.chosen());
    EXPECT_EQ(m_expander->writes, 3);
}

TEST_F(ProgrammingLanguageCocoaAdapterTest, UnchoosingALanguageTheExpanderLacksLeavesItUnwritten)
{
    m_expander->entries = { ProgrammingLanguageContainer(u16(u"kotlin")) };

    m_swift.setChosen(false);

    EXPECT_EQ(m_expander->writes, 0);
    EXPECT_EQ(m_expander->ids(), (std::vector<std::u16string> { u"kotlin" }));
}

TEST_F(ProgrammingLanguageCocoaAdapterTest, AnEntryNamingNoLanguageNeverReadsAsChosen)
{
    m_expander->entries = { ProgrammingLanguageContainer(u16(u"SWIFT")) };

    for (const auto& language : ProgrammingLanguageStore::shared().allLanguages())
        EXPECT_FALSE(ProgrammingLanguageCocoaAdapter(language, m_expander).chosen()) << toUtf8(language->id());
}

TEST_F(ProgrammingLanguageCocoaAdapterTest, WritesAreReportedToTheChangeHandler)
{
    std::vector<std::string> changed;
    m_swift.setChangeHandler([&](const std::string& key) { changed.push_back(key); });

    m_swift.setChosen(false);
    m_swift.setChosen(true);

    EXPECT_EQ(changed, (std::vector<std::string> { "chosen" }));
}

TEST_F(ProgrammingLanguageCocoaAdapterTest, AfterTheExpanderIsGoneChosenIsFalseAndSettingItDoesNothing)
{
    m_expander->entries = { ProgrammingLanguageContainer(storeLanguage(u"swift")) };
    const std::weak_ptr<FakeExpander> watched = m_expander;
    int changes = 0;
    m_swift.setChangeHandler([&](const std::string&) { ++changes; });

    m_expander.reset();

    EXPECT_TRUE(watched.expired());
    EXPECT_FALSE(m_swift.chosen());
    m_swift.setChosen(true);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(m_swift.name(), u16(u"Swift"));
}

} // namespace
} // namespace quillet
