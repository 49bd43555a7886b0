#include "editor/OutputVariableEditorState.h"

#include "expansion/FilterStore.h"
#include "text/UnicodeConversion.h"
#include "text/UserErrorDescriptionType.h"

namespace quillet {

OutputVariableEditorState::OutputVariableEditorState()
    : m_allFilters(FilterStore::shared().allFilters())
{
}

void OutputVariableEditorState::setVariableName(icu::UnicodeString name)
{
    m_variableName = std::move(name);
    validateVariable();
}

void OutputVariableEditorState::setFilters(std::vector<const Filter*> filters)
{
    m_filters = std::move(filters);
    validateVariable();
}

void OutputVariableEditorState::addFilter(const Filter* filter)
{
    if (!filter)
        return;
    auto filters = m_filters;
    filters.push_back(filter);
    setFilters(std::move(filters));
}

void OutputVariableEditorState::removeFilter(int row)
{
    if (row < 0 || row >= static_cast<int>(m_filters.size()))
        return;
    auto filters = m_filters;
    filters.erase(filters.begin() + row);
    setFilters(std::move(filters));
}

void OutputVariableEditorState::setVariable(std::shared_ptr<const OutputVariable> variable)
{
    m_lastValidVariable = variable;
    if (!variable) {
        if (onStateChange)
            onStateChange();
        return;
    }
    // Both at once: checking the new name with the old chain would record a mixture.
    m_variableName = variable->name();
    m_filters = variable->filters();
    validateVariable();
}

OutputVariable OutputVariableEditorState::currentVariable() const
{
    return OutputVariable(m_variableName, m_filters);
}

std::optional<icu::UnicodeString> OutputVariableEditorState::placeholderToWriteBack() const
{
    if (!m_lastValidVariable)
        return std::nullopt;
    return OutputVariable::makeExpression(m_lastValidVariable->name(), m_lastValidVariable->filters());
}

std::string OutputVariableEditorState::beginDrag(int row)
{
    m_draggingRow = row;
    return std::to_string(row);
}

bool OutputVariableEditorState::canDrop(int row, bool betweenRows) const
{
    if (m_draggingRow && *m_draggingRow == row)
        return false;
    return betweenRows;
}

bool OutputVariableEditorState::acceptDrop(int row)
{
    const int count = static_cast<int>(m_filters.size());
    if (!m_draggingRow || *m_draggingRow < 0 || *m_draggingRow >= count || row < 0 || row > count)
        return false;
    const int from = *m_draggingRow;
    const bool movingDown = from < row;
    auto filters = m_filters;
    const Filter* moved = filters[static_cast<std::size_t>(from)];
    filters.erase(filters.begin() + from);
    // Removing first shifts the later rows up by one.
    filters.insert(filters.begin() + (movingDown ? row - 1 : row), moved);
    setFilters(std::move(filters));
    return true;
}

void OutputVariableEditorState::validateVariable()
{
    auto current = std::make_shared<const OutputVariable>(currentVariable());
    try {
        current->validate();
        m_errorMessage.reset();
        m_lastValidVariable = std::move(current);
    } catch (const UserErrorDescriptionType& error) {
        m_errorMessage = error.userErrorDescription();
    } catch (const std::exception& error) {
        m_errorMessage = fromUtf8(error.what());
    }
    if (onStateChange)
        onStateChange();
}

} // namespace quillet
