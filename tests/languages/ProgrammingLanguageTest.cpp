#include "languages/AnyProgrammingLanguage.h"
#include "languages/ProgrammingLanguageRecord.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

TEST(ProgrammingLanguage, AnyLanguageAcceptsEveryTextIncludingTheEmptyOne)
{
    const AnyProgrammingLanguage any;

    EXPECT_TRUE(any.accepts(u""));
    EXPECT_TRUE(any.accepts(u"swift"));
    EXPECT_TRUE(any.accepts(u" .Weird Extension "));
    EXPECT_EQ(any.extensions(), ProgrammingLanguageExtension::all());
}

TEST(ProgrammingLanguage, GivenExtensionsMatchExactlyAndCaseSensitively)
{
    const BashProgrammingLangauge bash;

    EXPECT_TRUE(bash.accepts(u"sh"));
    EXPECT_FALSE(bash.accepts(u"bash"));
    EXPECT_FALSE(bash.accepts(u"SH"));
    EXPECT_FALSE(bash.accepts(u".sh"));
    EXPECT_FALSE(bash.accepts(u"sh "));
    EXPECT_FALSE(bash.accepts(u""));
}

TEST(ProgrammingLanguage, EqualityComparesOnlyTheIds)
{
    const ProgrammingLanguageRecord otherSwift(u"swift", u"Something Else", ProgrammingLanguageExtension::all(), {});

    EXPECT_TRUE(otherSwift == SwiftProgrammingLangauge());
    EXPECT_TRUE(SwiftProgrammingLangauge() == otherSwift);
    EXPECT_TRUE(otherSwift != ObjectiveCProgrammingLangauge());
    EXPECT_FALSE(otherSwift == ObjectiveCProgrammingLangauge());
}

TEST(ProgrammingLanguage, AllAndAGivenListAreDifferentExtensionSets)
{
    EXPECT_NE(ProgrammingLanguageExtension::all(), ProgrammingLanguageExtension::given({}));
    EXPECT_FALSE(ProgrammingLanguageExtension::given({}).accepts(u""));
    EXPECT_EQ(ProgrammingLanguageExtension::given({ u"c", u"h" }), CProgrammingLanguage().extensions());
}

// A language that states only who it is, as the selection's tests build them.
class IdOnlyLanguage final : public ProgrammingLanguage {
public:
    icu::UnicodeString id() const override { return u"swift"; }
    icu::UnicodeString name() const override { return u"Swift"; }
};

TEST(ProgrammingLanguage, ALanguageKnownOnlyByIdSelectsNoFileAndHighlightsNothing)
{
    const IdOnlyLanguage language;

    EXPECT_FALSE(language.accepts(u"swift"));
    EXPECT_FALSE(language.accepts(u""));
    EXPECT_TRUE(language.highlightingPatterns().empty());
    EXPECT_TRUE(language == SwiftProgrammingLangauge());
}

} // namespace
} // namespace quillet
