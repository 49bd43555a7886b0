#include "editor/InputVariableCell.h"

#include "docs/views/QtText.h"
#include "editor/InputVariableViewController.h"
#include "expansion/ExpanderController.h"
#include "variables/VariableFactory.h"

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
    if (const auto attachment = this->attachment()) {
        auto controller = std::make_shared<ExpanderController>(
            m_enabledExpanders ? m_enabledExpanders() : std::vector<ExpanderPtr> {});
        InputVariablePtr variable;
        try {
            variable = VariableFactory().parseVariable(icuString(attachment->text()), nullptr, *controller);
        } catch (const std::exception&) {
            // A declaration no kind reads gives an editor without a variable.
        }
        m_editor->setVariable(std::move(variable), std::move(controller));
    }
    return m_editor;
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
    if (!declaration)
        return std::nullopt;
    return qtString(*declaration);
}

} // namespace quillet
