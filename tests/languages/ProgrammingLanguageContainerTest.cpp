#include "library/ProgrammingLanguageContainer.h"
#include "languages/ProgrammingLanguageRecord.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <memory>

namespace quillet {
namespace {

TEST(ProgrammingLanguageContainer, MadeFromALanguageHoldsItAndItsId)
{
    const ProgrammingLanguageContainer container(std::make_shared<RubyProgrammingLangauge>());

    ASSERT_TRUE(container.programmingLanguage);
    EXPECT_EQ((*container.programmingLanguage)->name(), u16(u"Ruby"));
    EXPECT_EQ(container.identifier, u16(u"ruby"));
}

TEST(ProgrammingLanguageContainer, MadeFromAKnownIdHoldsTheStoresLanguage)
{
    const ProgrammingLanguageContainer container(u16(u"csharp"));

    ASSERT_TRUE(container.programmingLanguage);
    EXPECT_EQ((*container.programmingLanguage)->name(), u16(u"C#"));
    EXPECT_EQ(container.identifier, u16(u"csharp"));
}

TEST(ProgrammingLanguageContainer, AnUnknownIdKeepsItsEntryUnchangedWithoutALanguage)
{
    for (const auto* id : { u"SWIFT", u" swift", u"kotlin", u"" }) {
        const ProgrammingLanguageContainer container { icu::UnicodeString(id) };
        EXPECT_FALSE(container.programmingLanguage) << toUtf8(id);
        EXPECT_EQ(container.identifier, icu::UnicodeString(id));
    }
}

} // namespace
} // namespace quillet
