#include "editor/InputVariableCell.h"

#include "docs/views/QtText.h"
#include "editor/InputVariableViewController.h"

namespace quillet {

InputVariableCell::InputVariableCell(
    QString label, std::weak_ptr<Expander> expander, InputVariableEditorState::ExpandersSource enabledExpanders)
    : PopoverVariableCell(std::move(label))
    , m_expander(std::move(expander))
    , m_enabledExpanders(std::move(enabledExpanders))
{
}

InputVariableCell::~InputVariableCell()
{
    // An editor never shown in a popover has no parent to take it along.
    if (m_editor && !m_editor->parent())
        m_editor->deleteLater();
}

InputVariableViewController* InputVariableCell::inputVariableViewController()
{
    if (m_editor)
        return m_editor;
    m_editor = new InputVariableViewController(m_enabledExpanders);
    m_editor->setExpander(m_expander.lock());
    if (const auto attachment = this->attachment())
        m_editor->state().loadDeclaration(icuString(attachment->text()));
    if (m_isNewVariable)
        m_editor->state().setWritesUnfinished(true);
    return m_editor;
}

void InputVariableCell::setNewVariable()
{
    m_isNewVariable = true;
    if (m_editor)
        m_editor->state().setWritesUnfinished(true);
}

QWidget* InputVariableCell::editor()
{
    return inputVariableViewController();
}

std::optional<QString> InputVariableCell::textToWriteBack()
{
    if (!m_editor)
        return std::nullopt;
    // What is typed in a field when the popover closes counts, as if the field were left.
    m_editor->commitEditing();
    const auto declaration = m_editor->state().declarationToWriteBack();
    if (!declaration) {
        // Nothing is written (a kind left for one the fields do not fit, a name that is no
        // name): the popover opens again on what the token holds, not on what was left.
        if (const auto attachment = this->attachment())
            m_editor->state().loadDeclaration(icuString(attachment->text()));
        if (m_isNewVariable)
            m_editor->state().setWritesUnfinished(true);
        return std::nullopt;
    }
    return qtString(*declaration);
}

} // namespace quillet
