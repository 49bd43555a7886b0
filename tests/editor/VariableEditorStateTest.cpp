// The editor-side logic of variable tokens, without widgets: names made from a selection,
// token colours, the input-variable editor's last-valid-state rules and the placeholder
// editor's filter chain.

#include "editor/InputVariableEditorState.h"
#include "editor/OutputVariableEditorState.h"
#include "editor/VariableNaming.h"
#include "expansion/ExpanderController.h"
#include "expansion/Filter.h"
#include "expansion/FilterStore.h"
#include "support/FakeExpander.h"
#include "text/UnicodeConversion.h"
#include "variables/VariableFactory.h"
#include "variables/VariablePattern.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <memory>
#include <string>
#include <vector>

namespace quillet {
namespace {

using icu::UnicodeString;

std::string utf8(const UnicodeString& text)
{
    return toUtf8(text);
}

std::string utf8(const std::optional<UnicodeString>& text)
{
    return text ? toUtf8(*text) : std::string("<none>");
}

struct NameCase {
    const char* title;
    UnicodeString selection;
    UnicodeString name;
};

class VariableNameFromSelection : public ::testing::TestWithParam<NameCase> { };

TEST_P(VariableNameFromSelection, MakesADeclarationName)
{
    const UnicodeString name = variableNameFromSelection(GetParam().selection);
    EXPECT_EQ(utf8(name), utf8(GetParam().name));
    // Whatever was selected, the declaration made with the name is one whole declaration.
    const UnicodeString declaration = u"${" + name + u":word}";
    const auto found = VariablePattern::matches(declaration);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(utf8(found.front().match), utf8(declaration));
}

INSTANTIATE_TEST_SUITE_P(Selections, VariableNameFromSelection,
    ::testing::Values(NameCase { "Nothing", u"", u"foo" }, NameCase { "Trimmed", u"  User Name!  ", u"user_name" },
        NameCase { "EveryBlankRun", u"a b c", u"a_b_c" }, NameCase { "PunctuationOnly", u"!?-.", u"foo" },
        NameCase { "BlanksOnly", u" \t ", u"foo" },
        NameCase { "TabsAndLineBreaks", u"Tab\tand \n spaces", u"tab_and_spaces" },
        NameCase { "Underscore", u"snake_case Word", u"snake_case_word" },
        NameCase { "Letters", u"Grüße Welt", u"grüße_welt" }, NameCase { "Digits", u"4 x 4", u"4_x_4" }),
    [](const auto& info) { return std::string(info.param.title); });

TEST(TokenColor, GreyOnlyInsideAnOptionalPart)
{
    const UnicodeString pattern = u"|${a:word} |${b:word} \\|${c:word}\\|";
    EXPECT_EQ(utf8(tokenColorHex(pattern, pattern.indexOf(u"${a"))), "#bbbbbb");
    EXPECT_EQ(utf8(tokenColorHex(pattern, pattern.indexOf(u"${b"))), "#52C0FF");
    EXPECT_EQ(utf8(tokenColorHex(pattern, pattern.indexOf(u"${c"))), "#52C0FF");
    const UnicodeString optionalFirst = u"|x| ${after}";
    EXPECT_EQ(utf8(tokenColorHex(optionalFirst, optionalFirst.indexOf(u"${"))), "#52C0FF");
}

// The input-variable editor over a library with one embeddable expander "inner".
class InputVariableEditorStateTest : public ::testing::Test {
protected:
    InputVariableEditorStateTest()
        : library { test::FakeExpander::make(u"inner", u"in${w:word}") }
        , state([this] { return library; })
    {
        state.onStateChange = [this] { ++changes; };
    }

    void load(const UnicodeString& declaration)
    {
        auto controller = std::make_shared<ExpanderController>(library);
        state.setVariable(VariableFactory().parseVariable(declaration, nullptr, *controller), controller);
    }

    int kindIndex(const UnicodeString& keyword) const
    {
        const auto& kinds = InputVariableEditorState::allVariableTypes();
        for (std::size_t i = 0; i < kinds.size(); ++i) {
            if (kinds[i]->type == keyword)
                return static_cast<int>(i);
        }
        return -1;
    }

    std::string writtenBack() const { return utf8(state.declarationToWriteBack()); }

    std::vector<ExpanderPtr> library;
    InputVariableEditorState state;
    int changes = 0;
};

struct KindCase {
    const char* title;
    UnicodeString declaration;
    UnicodeString keyword;
    UnicodeString renamed; ///< the declaration after renaming the variable to "renamed"
    bool keyValueBox;
    bool valueBox;
    bool defaultValueBox;
    bool selectableValueBox;
};

class EveryKind : public InputVariableEditorStateTest, public ::testing::WithParamInterface<KindCase> { };

TEST_P(EveryKind, RoundTripsThroughTheEditor)
{
    const KindCase& kind = GetParam();
    load(kind.declaration);
    EXPECT_EQ(state.currentVariableTypeIndex(), kindIndex(kind.keyword));
    EXPECT_EQ(utf8(state.errorMessage()), "<none>");
    EXPECT_EQ(utf8(state.data().variableName()), utf8(state.variable()->name()));
    const InputVariableEditorMode mode = state.editorMode();
    EXPECT_TRUE(state.isNameBoxVisible());
    EXPECT_EQ(mode.keyValueBox.has_value(), kind.keyValueBox);
    EXPECT_EQ(mode.valueBox.has_value(), kind.valueBox);
    EXPECT_FALSE(mode.textBox.has_value());
    EXPECT_EQ(mode.defaultValueBox.has_value(), kind.defaultValueBox);
    EXPECT_EQ(mode.selectableValueBox.has_value(), kind.selectableValueBox);
    // Closing without an edit writes the same declaration back.
    EXPECT_EQ(writtenBack(), utf8(kind.declaration));

    // A rename goes through the form and keeps everything else.
    state.data().setVariableName(u"renamed");
    EXPECT_EQ(utf8(state.errorMessage()), "<none>");
    EXPECT_EQ(writtenBack(), utf8(kind.renamed));
    // Choosing the kind it already has changes nothing.
    state.setCurrentVariableTypeIndex(kindIndex(kind.keyword));
    EXPECT_EQ(writtenBack(), utf8(kind.renamed));
}

INSTANTIATE_TEST_SUITE_P(Kinds, EveryKind,
    ::testing::Values(
        KindCase { "Text", u"${a:text=hi there}", u"text", u"${renamed:text=hi there}", false, false, true, false },
        KindCase { "LazyText", u"${b:text?}", u"text?", u"${renamed:text?}", false, false, true, false },
        KindCase { "Number", u"${c:number=1}", u"number", u"${renamed:number=1}", false, false, true, false },
        KindCase { "Word", u"${d:word}", u"word", u"${renamed:word}", false, false, true, false },
        KindCase {
            "Identifier", u"${e:identifier=x}", u"identifier", u"${renamed:identifier=x}", false, false, true, false },
        KindCase { "Switch", u"${f:switch(y:yes,n:no,b\\:c:d)=y}", u"switch",
            u"${renamed:switch(y:yes,n:no,b\\:c:d)=y}", true, false, true, false },
        KindCase {
            "Enum", u"${g:enum(one,two)=two}", u"enum", u"${renamed:enum(one,two)=two}", false, true, true, false },
        KindCase { "EnumOfSyntaxCharacters", u"${close:enum(),\",\"])}", u"enum", u"${renamed:enum(),\",\"])}", false,
            true, true, false },
        KindCase { "Expander", u"${h:exp(inner)}", u"exp", u"${renamed:exp(inner)}", false, false, false, true }),
    [](const auto& info) { return std::string(info.param.title); });

// Every declaration of the shipped library loads into the editor and, untouched, is written
// back exactly as it stands: the editor never rewrites or refuses what the library holds.
TEST(InputVariableEditorStateLibrary, EveryShippedDeclarationWritesBackUnchanged)
{
    std::vector<ExpanderPtr> library;
    std::vector<UnicodeString> patterns;
    for (const auto& entry :
        std::filesystem::directory_iterator(std::filesystem::path(QUILLET_RESOURCES_DIR) / "bundles")) {
        std::ifstream file(entry.path());
        const auto bundle = nlohmann::json::parse(file);
        for (const auto& expander : bundle.at("expanders")) {
            const UnicodeString pattern = fromUtf8(expander.at("pattern").get<std::string>());
            patterns.push_back(pattern);
            library.push_back(test::FakeExpander::make(fromUtf8(expander.value("identifier", std::string())), pattern));
        }
    }
    InputVariableEditorState state([&library] { return library; });
    int checked = 0;
    for (const auto& pattern : patterns) {
        for (const auto& declaration : VariablePattern::matches(pattern)) {
            auto controller = std::make_shared<ExpanderController>(library);
            InputVariablePtr variable;
            try {
                variable = VariableFactory().parseVariable(declaration.match, nullptr, *controller);
            } catch (const std::exception&) {
                continue; // a declaration the engine itself refuses is not the editor's
            }
            state.setVariable(variable, controller);
            EXPECT_EQ(utf8(state.declarationToWriteBack()), utf8(declaration.match)) << utf8(pattern);
            ++checked;
        }
    }
    EXPECT_GT(checked, 100);
}

TEST_F(InputVariableEditorStateTest, RowsEditedInPlaceRebuildTheVariable)
{
    load(u"${f:switch(y:yes,n:no)=y}");
    ASSERT_EQ(state.data().keyValues()->size(), 2u);
    state.data().keyValues()->at(1)->setValue(u"nope");
    EXPECT_EQ(writtenBack(), "${f:switch(y:yes,n:nope)=y}");
    state.data().keyValues()->at(1)->setKey(u"y");
    EXPECT_EQ(utf8(state.errorMessage()), "Keys must be unique.");
    EXPECT_EQ(writtenBack(), "${f:switch(y:yes,n:nope)=y}");

    load(u"${g:enum(one,two)}");
    state.addValue();
    EXPECT_EQ(utf8(state.errorMessage()), "Values cannot be empty.");
    state.data().values()->back()->setValue(u"three");
    EXPECT_EQ(writtenBack(), "${g:enum(one,two,three)}");
    state.removeValue(0);
    EXPECT_EQ(writtenBack(), "${g:enum(two,three)}");
}

TEST_F(InputVariableEditorStateTest, InvalidEditsNeverReplaceTheLastValidVariable)
{
    load(u"${name:word}");
    const int before = changes;
    state.data().setVariableName(u"has space");
    EXPECT_GT(changes, before);
    EXPECT_EQ(utf8(state.errorMessage()), "Name may consists of letters, numbers and _ character.");
    EXPECT_EQ(writtenBack(), "${name:word}");
    state.data().setVariableName(u"");
    EXPECT_EQ(utf8(state.errorMessage()), "Name cannot be empty");
    EXPECT_EQ(writtenBack(), "${name:word}");
    state.data().setVariableName(u"fixed");
    EXPECT_EQ(utf8(state.errorMessage()), "<none>");
    EXPECT_EQ(writtenBack(), "${fixed:word}");
}

TEST_F(InputVariableEditorStateTest, AKindTheFieldsDoNotFitWritesNothingBack)
{
    load(u"${x:text=abc}");
    state.data().setVariableName(u"name2");
    // By way of Text (lazy), which fits: the kind left behind is not what is written.
    state.setCurrentVariableTypeIndex(kindIndex(u"text?"));
    EXPECT_EQ(writtenBack(), "${name2:text?=abc}");
    state.setCurrentVariableTypeIndex(kindIndex(u"number"));
    EXPECT_EQ(state.currentVariableTypeIndex(), kindIndex(u"number"));
    EXPECT_EQ(utf8(state.errorMessage()), "Default value must be a number.");
    EXPECT_EQ(utf8(state.data().variableName()), "name2");
    // The Number variable is the last valid one, unchecked: closing writes nothing.
    ASSERT_NE(state.variable(), nullptr);
    EXPECT_EQ(
        &state.variable()->kind(), InputVariableEditorState::allVariableTypes()[std::size_t(kindIndex(u"number"))]);
    EXPECT_EQ(writtenBack(), "<none>");
    // Choosing Number again changes nothing; a default that fits it is written.
    state.setCurrentVariableTypeIndex(kindIndex(u"number"));
    EXPECT_EQ(writtenBack(), "<none>");
    state.data().setDefaultValue(UnicodeString(u"5"));
    EXPECT_EQ(writtenBack(), "${name2:number=5}");
}

TEST_F(InputVariableEditorStateTest, CasesTypedEarlierComeBackWithTheirKind)
{
    load(u"${f:switch(a:1,b:2)}");
    state.setCurrentVariableTypeIndex(kindIndex(u"text"));
    EXPECT_EQ(writtenBack(), "${f:text}");
    EXPECT_FALSE(state.editorMode().keyValueBox.has_value());
    state.setCurrentVariableTypeIndex(kindIndex(u"switch"));
    EXPECT_TRUE(state.editorMode().keyValueBox.has_value());
    EXPECT_EQ(writtenBack(), "${f:switch(a:1,b:2)}");
}

TEST_F(InputVariableEditorStateTest, ValuesADeclarationCannotKeepAreRefused)
{
    load(u"${x:text=ok}");
    state.data().setDefaultValue(UnicodeString(u"a}b"));
    EXPECT_NE(utf8(state.errorMessage()), "<none>");
    EXPECT_EQ(writtenBack(), "${x:text=ok}");

    load(u"${g:enum(one,two)}");
    state.data().values()->at(0)->setValue(u"a,b");
    EXPECT_EQ(writtenBack(), "${g:enum(a\\,b,two)}");
}

TEST_F(InputVariableEditorStateTest, NoVariableHidesEverythingAndWritesNothing)
{
    state.setVariable(nullptr);
    EXPECT_EQ(state.currentVariableTypeIndex(), -1);
    EXPECT_FALSE(state.isNameBoxVisible());
    EXPECT_EQ(state.editorMode(), InputVariableEditorMode {});
    EXPECT_EQ(writtenBack(), "<none>");
    // The expander kind lists the expanders and rebuilds from the chosen one.
    state.data().setVariableName(u"e");
    state.setCurrentVariableTypeIndex(kindIndex(u"exp"));
    ASSERT_TRUE(state.data().selectableValues().has_value());
    ASSERT_EQ(state.data().selectableValues()->size(), 1u);
    EXPECT_EQ(writtenBack(), "<none>");
    state.data().setSelectedValue(state.data().selectableValues()->front());
    EXPECT_EQ(writtenBack(), "${e:exp(inner)}");
}

std::vector<std::string> keywords(const std::vector<const Filter*>& filters)
{
    std::vector<std::string> result;
    for (const Filter* filter : filters)
        result.push_back(toUtf8(filter->id()));
    return result;
}

const Filter* filterNamed(const UnicodeString& keyword)
{
    return &FilterStore::shared().filter(keyword);
}

TEST(OutputVariableEditorState, LoadsValidatesAndWritesBackTheLastValidPlaceholder)
{
    OutputVariableEditorState state;
    EXPECT_EQ(state.allFilters().size(), FilterStore::shared().allFilters().size());
    state.setVariable(std::make_shared<OutputVariable>(
        u"name", std::vector<const Filter*> { filterNamed(u"uppercase"), filterNamed(u"md5") }));
    EXPECT_EQ(utf8(state.variableName()), "name");
    EXPECT_EQ(keywords(state.filters()), (std::vector<std::string> { "uppercase", "md5" }));
    EXPECT_EQ(utf8(state.errorMessage()), "<none>");
    EXPECT_EQ(utf8(state.variable()->originalExpression()), "${name.uppercase.md5}");

    state.setVariableName(u"");
    EXPECT_EQ(utf8(state.errorMessage()), "Name cannot be empty");
    state.setVariableName(u"a-b");
    EXPECT_EQ(utf8(state.errorMessage()), "Name may consists of letters, numbers and _ character.");
    EXPECT_EQ(utf8(state.placeholderToWriteBack()), "${name.uppercase.md5}");

    state.setVariableName(u"other");
    state.removeFilter(0);
    state.addFilter(filterNamed(u"md5"));
    EXPECT_EQ(utf8(state.placeholderToWriteBack()), "${other.md5.md5}");

    state.setVariable(nullptr);
    EXPECT_EQ(state.variable(), nullptr);
    EXPECT_EQ(utf8(state.variableName()), "other");
    EXPECT_EQ(utf8(state.placeholderToWriteBack()), "<none>");
}

struct DropCase {
    const char* title;
    int from;
    int to;
    bool between;
    bool allowed;
    std::vector<std::string> result;
};

class FilterRowDrop : public ::testing::TestWithParam<DropCase> { };

TEST_P(FilterRowDrop, MovesTheDraggedRowIntoTheGap)
{
    const DropCase& drop = GetParam();
    OutputVariableEditorState state;
    state.setVariableName(u"v");
    state.setFilters({ filterNamed(u"uppercase"), filterNamed(u"md5"), filterNamed(u"lowercase") });
    EXPECT_EQ(state.beginDrag(drop.from), std::to_string(drop.from));
    EXPECT_EQ(state.canDrop(drop.to, drop.between), drop.allowed);
    if (drop.allowed) {
        EXPECT_TRUE(state.acceptDrop(drop.to));
    }
    EXPECT_EQ(keywords(state.filters()), drop.result);
    EXPECT_EQ(keywords(state.variable()->filters()), drop.result);
}

const std::vector<std::string> unmoved { "uppercase", "md5", "lowercase" };

INSTANTIATE_TEST_SUITE_P(Drops, FilterRowDrop,
    ::testing::Values(DropCase { "FirstBeforeLast", 0, 2, true, true, { "md5", "uppercase", "lowercase" } },
        DropCase { "LastBeforeFirst", 2, 0, true, true, { "lowercase", "uppercase", "md5" } },
        DropCase { "FirstAfterLast", 0, 3, true, true, { "md5", "lowercase", "uppercase" } },
        DropCase { "IntoItsOwnGap", 0, 1, true, true, unmoved }, DropCase { "OntoItself", 1, 1, true, false, unmoved },
        DropCase { "OntoAnotherRow", 0, 2, false, false, unmoved }),
    [](const auto& info) { return std::string(info.param.title); });

TEST(OutputVariableEditorState, DropsWithoutAValidDraggedRowAreRefused)
{
    OutputVariableEditorState state;
    state.setVariableName(u"v");
    state.setFilters({ filterNamed(u"uppercase"), filterNamed(u"md5") });
    EXPECT_FALSE(state.acceptDrop(0));
    state.beginDrag(1);
    state.endDrag();
    EXPECT_FALSE(state.acceptDrop(0));
    // A row recorded before the chain got shorter, or a gap beyond the end.
    state.beginDrag(1);
    state.removeFilter(1);
    EXPECT_FALSE(state.acceptDrop(0));
    state.beginDrag(0);
    EXPECT_FALSE(state.acceptDrop(5));
    EXPECT_EQ(keywords(state.filters()), (std::vector<std::string> { "uppercase" }));
}

} // namespace
} // namespace quillet
