#include "editor/OutputVariableCell.h"

#include "docs/views/QtText.h"
#include "editor/OutputVariableViewController.h"
#include "expansion/OutputVariablePattern.h"

namespace quillet {

OutputVariableCell::OutputVariableCell(QString label)
    : PopoverVariableCell(std::move(label))
{
}

OutputVariableCell::~OutputVariableCell()
{
    // An editor never shown in a popover has no parent to take it along.
    if (m_editor && !m_editor->parent())
        m_editor->deleteLater();
}

OutputVariableViewController* OutputVariableCell::outputVariableViewController()
{
    if (m_editor)
        return m_editor;
    m_editor = new OutputVariableViewController;
    m_editor->setVariables(m_inputVariableNames);
    if (const auto attachment = this->attachment()) {
        const auto found = OutputVariablePattern::matches(icuString(attachment->text()));
        std::shared_ptr<const OutputVariable> variable;
        if (!found.empty()) {
            try {
                variable = std::make_shared<OutputVariable>(found.front());
            } catch (const std::exception&) {
                // A keyword that names no filter: the editor starts empty.
            }
        }
        m_editor->setVariable(std::move(variable));
    }
    return m_editor;
}

QWidget* OutputVariableCell::editor()
{
    return outputVariableViewController();
}

std::optional<QString> OutputVariableCell::textToWriteBack()
{
    if (!m_editor)
        return std::nullopt;
    // What is typed when the popover closes counts, as if the field were left.
    m_editor->commitEditing();
    const auto placeholder = m_editor->state().placeholderToWriteBack();
    if (!placeholder)
        return std::nullopt;
    return qtString(*placeholder);
}

} // namespace quillet
