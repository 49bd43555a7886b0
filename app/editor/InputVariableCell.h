#pragma once

#include "editor/InputVariableEditorState.h"
#include "editor/PopoverVariableCell.h"

#include <QPointer>

#include <memory>

namespace quillet {

class InputVariableViewController;

/// The token of an input-variable declaration in the pattern editor, labelled with the
/// variable's name. Its popover holds the input-variable editor, filled with the variable
/// parsed from the token's declaration; closing it writes the last valid declaration back.
class InputVariableCell final : public PopoverVariableCell {
public:
    InputVariableCell(
        QString label, std::weak_ptr<Expander> expander, InputVariableEditorState::ExpandersSource enabledExpanders);
    ~InputVariableCell() override;

    /// The editor, made on first use from the attachment's declaration.
    InputVariableViewController* inputVariableViewController();
    /// The token was just inserted with a proposed declaration: closing writes the name and
    /// kind the user gave even before the variable is complete.
    void setNewVariable();

protected:
    QWidget* editor() override;
    std::optional<QString> textToWriteBack() override;

private:
    std::weak_ptr<Expander> m_expander;
    InputVariableEditorState::ExpandersSource m_enabledExpanders;
    QPointer<InputVariableViewController> m_editor;
    bool m_isNewVariable = false;
};

} // namespace quillet
