#pragma once

#include "variables/Expander.h"
#include "variables/InputVariableEditorData.h"
#include "variables/Variable.h"
#include "variables/VariablePattern.h"

#include <unicode/unistr.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quillet {

class ExpanderController;

/// The state of the input-variable editor, without any widget: the form the user edits
/// (InputVariableEditorData), the chosen kind, the last valid variable and the message of
/// the last failed rebuild.
///
/// Every change of the form rebuilds a variable of the chosen kind and validates it; only a
/// variable that validates, and whose declaration reads back as the same declaration,
/// becomes the last valid one. Changing the kind loads the variable of the new kind made from
/// the form as the last valid one, unchecked, and then rebuilds: when the fields do not fit
/// the new kind, nothing is written back on closing, rather than a kind passed on the way.
/// The widget editor observes onStateChange and mirrors the form; main thread only.
class InputVariableEditorState final : public KeyValueObjectDelegate, public StringValueDelegate {
public:
    /// The enabled expanders of the library, asked anew for every rebuild.
    using ExpandersSource = std::function<std::vector<ExpanderPtr>()>;

    explicit InputVariableEditorState(ExpandersSource enabledExpanders);
    ~InputVariableEditorState() override;
    InputVariableEditorState(const InputVariableEditorState&) = delete;
    InputVariableEditorState& operator=(const InputVariableEditorState&) = delete;

    /// The expander whose pattern holds the variable (the parent of expander variables).
    void setExpander(ExpanderPtr expander) { m_expander = std::move(expander); }
    const ExpanderPtr& expander() const noexcept { return m_expander; }

    /// The form. Writes through it rebuild the variable.
    InputVariableEditorData& data() noexcept { return m_data; }
    const InputVariableEditorData& data() const noexcept { return m_data; }

    /// The kinds of the kind chooser, in the factory's order.
    static const std::vector<const VariableKind*>& allVariableTypes();
    int currentVariableTypeIndex() const noexcept { return m_currentVariableTypeIndex; }
    const VariableKind* currentVariableType() const;
    /// Chooses a kind (a negative or unknown index chooses none): the variable of that kind
    /// made from the current fields becomes the last valid one, unchecked (none when it
    /// cannot be made), and is rebuilt. The kind the last valid variable has changes nothing.
    void setCurrentVariableTypeIndex(int index);

    /// The last valid variable, or the one loaded when nothing valid was made since.
    InputVariablePtr variable() const noexcept { return m_lastValidVariable; }
    /// Loads a variable into the form; `controller` is the one it was made with and is kept
    /// as long as the variable. None clears the kind and hides every box.
    void setVariable(InputVariablePtr variable, std::shared_ptr<const ExpanderController> controller = {});
    /// Loads a declaration that names a kind but makes no variable, such as "${tv:enum}" (a
    /// kind that takes values, stored before it had any): the kind, the name and the default
    /// are shown, the message says what is missing, and the editor writes what is unfinished.
    void setUnfinishedVariable(const VariablePatternMatch& declaration);
    /// Loads the declaration of a token: its variable, else what setUnfinishedVariable shows,
    /// else nothing.
    void loadDeclaration(const icu::UnicodeString& declaration);

    /// Whether closing writes the variable even when it is unfinished (a kind whose values
    /// are still missing, a default the kind refuses): true for a variable just inserted and
    /// one stored unfinished, whose token holds no variable the user chose. The name and the
    /// kind the user gave are kept; the expander's errors then say what is missing.
    void setWritesUnfinished(bool writes) { m_writesUnfinished = writes; }

    const std::optional<icu::UnicodeString>& errorMessage() const noexcept { return m_errorMessage; }
    /// The boxes the editor shows; the name box shows whenever a kind is chosen.
    InputVariableEditorMode editorMode() const;
    bool isNameBoxVisible() const { return currentVariableType() != nullptr; }

    /// Adds an empty switch case, resp. enum element, and rebuilds.
    void addKeyValue();
    void addValue();
    void removeKeyValue(int row);
    void removeValue(int row);

    /// The declaration to write into the token when the editor closes: that of the last
    /// valid variable when it still validates and reads back; else, when unfinished variables
    /// are written, the declaration of the chosen kind made from the form (without its values
    /// when they cannot be written, "${tv:enum}"); else none (nothing is written).
    std::optional<icu::UnicodeString> declarationToWriteBack() const;

    /// Called after every change the view may show: fields, kind, boxes, message.
    std::function<void()> onStateChange;

    void keyValueObjectDidChange(KeyValueObject& object) override;
    void stringValueDidChange(StringValue& object) override;

private:
    std::shared_ptr<ExpanderController> makeController() const;
    std::optional<icu::UnicodeString> unfinishedDeclaration() const;
    void fieldChanged(InputVariableEditorData::Property property);
    void adoptRows();
    void releaseRows();
    void updateVariable();
    void changed();

    ExpandersSource m_enabledExpanders;
    ExpanderPtr m_expander;
    InputVariableEditorData m_data;
    int m_currentVariableTypeIndex = -1;
    InputVariablePtr m_lastValidVariable;
    std::shared_ptr<const ExpanderController> m_lastValidController;
    std::optional<icu::UnicodeString> m_errorMessage;
    bool m_isLoading = false;
    bool m_writesUnfinished = false;
};

/// Checks that a variable may be written as a declaration: it validates, and its declaration
/// parses back into a variable with the same declaration, found whole by the declaration
/// expression. Throws the validation error, or a VariableValidationError saying which value
/// cannot be written.
void validateForWriteBack(
    const InputVariable& variable, const Expander* parentExpander, const ExpanderController& controller);

} // namespace quillet
