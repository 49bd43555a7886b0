#include "library/Alert.h"
#include "library/NoEditorError.h"
#include "support/TestSupport.h"
#include "text/UserErrorDescriptionType.h"
#include "variables/Expander.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace quillet {
namespace {

class NamedExpander final : public Expander {
public:
    explicit NamedExpander(icu::UnicodeString name)
        : m_name(std::move(name))
    {
    }
    icu::UnicodeString identifier() const override { return {}; }
    icu::UnicodeString name() const override { return m_name; }
    icu::UnicodeString expanderDescription() const override { return {}; }
    std::vector<std::shared_ptr<const ProgrammingLanguage>> supportedLanguages() const override { return {}; }
    icu::UnicodeString expand(const icu::UnicodeString& expression, const ExpanderLookup&) const override
    {
        return expression;
    }
    icu::UnicodeString matchPattern(const ExpanderLookup&) const override { return {}; }

private:
    icu::UnicodeString m_name;
};

TEST(UserErrors, RecordsCarryTheirFixedTitlesAndGivenDescriptions)
{
    UnknownError unknown;
    EXPECT_EQ(unknown.userErrorTitle(), u16(u"Unknown error"));
    EXPECT_EQ(unknown.userErrorDescription(), u16(u"An unknown error occured."));

    ParsingError parsing(u16(u"Unknown variable type \"foo\""));
    EXPECT_EQ(parsing.userErrorTitle(), u16(u"Parsing error"));
    EXPECT_EQ(parsing.userErrorDescription(), u16(u"Unknown variable type \"foo\""));
    EXPECT_EQ(parsing.validationText(), parsing.userErrorDescription());
    EXPECT_EQ(parsing.expander(), nullptr);

    ExpandingError expanding(u16(u"Missing value"));
    EXPECT_EQ(expanding.userErrorTitle(), u16(u"Expression could not be expanded."));
    EXPECT_EQ(expanding.userErrorDescription(), u16(u"Missing value"));

    PlatformError platform(u16(u"disk on fire"));
    EXPECT_EQ(platform.userErrorTitle(), u16(u"Error"));
    EXPECT_EQ(platform.userErrorDescription(), u16(u"disk on fire"));
}

TEST(UserErrors, CbErrorDefaultsToUnknownErrorWithEmptyDescriptionAndIsSettable)
{
    CbError error;
    EXPECT_EQ(error.userErrorTitle(), u16(u"Unknown error"));
    EXPECT_TRUE(error.userErrorDescription().isEmpty());
    error.setUserErrorTitle(u16(u"File could not be read"));
    error.setUserErrorDescription(u16(u"/tmp/x"));
    EXPECT_EQ(error.userErrorTitle(), u16(u"File could not be read"));
    EXPECT_EQ(error.userErrorDescription(), u16(u"/tmp/x"));
    EXPECT_STREQ(error.what(), "File could not be read: /tmp/x");
}

TEST(UserErrors, NoEditorErrorNamesTheEditorOrAsksForOne)
{
    NoEditorError named(u16(u"Atom"));
    EXPECT_EQ(named.userErrorTitle(), u16(u"You need a plugin"));
    EXPECT_EQ(named.userErrorDescription(),
        u16(u"To use Quillet in Atom, you need to install a plugin. Click here for more information."));
    EXPECT_FALSE(named.url().empty());

    NoEditorError unnamed;
    EXPECT_EQ(unnamed.userErrorTitle(), u16(u"Are you using a text editor?"));
    EXPECT_EQ(unnamed.userErrorDescription(),
        u16(u"If you are, you probabily need a plugin. Click here for more information."));
    EXPECT_EQ(unnamed.url(), named.url());
}

TEST(UserErrors, NoEditorErrorPutsANameContainingThePlaceholderInOnce)
{
    NoEditorError named(u16(u"%@ Editor"));
    EXPECT_EQ(named.userErrorDescription(),
        u16(u"To use Quillet in %@ Editor, you need to install a plugin. Click here for more information."));
}

TEST(UserErrors, ExpanderRelatedErrorHoldsTheLastExpanderSet)
{
    ParsingError error(u16(u"bad"));
    error.setExpander(std::make_shared<NamedExpander>(u16(u"first")));
    error.setExpander(std::make_shared<NamedExpander>(u16(u"second")));
    EXPECT_EQ(error.expander()->name(), u16(u"second"));
}

TEST(UserErrors, LocalizedDescriptionBridgesEveryError)
{
    EXPECT_EQ(localizedDescription(CbError(u16(u"t"), u16(u"d"))), u16(u"d"));
    EXPECT_EQ(localizedDescription(std::runtime_error("plain")), u16(u"plain"));
}

TEST(Alert, FromErrorAddsTheExpanderLineOnlyForAnExpanderRelatedErrorWithAnExpander)
{
    ParsingError error(u16(u"Bad declaration"));
    EXPECT_EQ(Alert::fromError(error).informativeText, u16(u"Bad declaration"));

    error.setExpander(std::make_shared<NamedExpander>(u16(u"For loop")));
    Alert alert = Alert::fromError(error);
    EXPECT_EQ(alert.messageText, u16(u"Parsing error"));
    EXPECT_EQ(alert.informativeText, u16(u"Bad declaration\n\nExpander: For loop"));
    EXPECT_EQ(alert.buttonTitles, std::vector<icu::UnicodeString> { u16(u"OK") });

    ExpandingError empty(u16(u""));
    empty.setExpander(std::make_shared<NamedExpander>(u16(u"X")));
    EXPECT_EQ(Alert::fromError(empty).informativeText, u16(u"\n\nExpander: X"));

    CbError file(u16(u"File could not be read"), u16(u"/path"));
    EXPECT_EQ(Alert::fromError(file).informativeText, u16(u"/path"));
}

TEST(Alert, WithTitleHasTheGivenTextsAndOneOKButton)
{
    Alert alert = Alert::withTitle(u16(u"Title"), u16(u"Message"));
    EXPECT_EQ(alert.messageText, u16(u"Title"));
    EXPECT_EQ(alert.informativeText, u16(u"Message"));
    EXPECT_EQ(alert.buttonTitles, std::vector<icu::UnicodeString> { u16(u"OK") });
}

} // namespace
} // namespace quillet
