#pragma once

#include "expansion/OutputVariable.h"

#include <unicode/unistr.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillet {

class Filter;

/// The state of the output-variable (placeholder) editor, without any widget: the name and
/// the filter chain as edited, the last valid placeholder and the message of the last
/// failed check, and the reordering of the chain by dragging rows.
///
/// Every change of the name or the chain validates the placeholder it makes; only a valid
/// one becomes the last valid state, which the token writes back. Main thread only.
class OutputVariableEditorState {
public:
    /// The drag type of a filter row; its data is the row index as decimal text.
    static constexpr char filterDragType[] = "com.orvanta.Quillet.Filter";

    OutputVariableEditorState();

    /// Every filter that can be added, in display-name order.
    const std::vector<const Filter*>& allFilters() const noexcept { return m_allFilters; }

    const icu::UnicodeString& variableName() const noexcept { return m_variableName; }
    void setVariableName(icu::UnicodeString name);
    /// The chain in application order.
    const std::vector<const Filter*>& filters() const noexcept { return m_filters; }
    void setFilters(std::vector<const Filter*> filters);
    /// Appends a filter (the same filter may stand in the chain more than once).
    void addFilter(const Filter* filter);
    void removeFilter(int row);

    const std::optional<icu::UnicodeString>& errorMessage() const noexcept { return m_errorMessage; }

    /// The last valid placeholder.
    const std::shared_ptr<const OutputVariable>& variable() const noexcept { return m_lastValidVariable; }
    /// Loads a placeholder: it becomes the last valid state, then its name and filters fill
    /// the editor. None only clears the last valid state.
    void setVariable(std::shared_ptr<const OutputVariable> variable);
    /// The placeholder the editor state makes now, valid or not.
    OutputVariable currentVariable() const;

    /// The text the token takes when the editor closes: the last valid placeholder written
    /// canonically, or none when there is no valid state.
    std::optional<icu::UnicodeString> placeholderToWriteBack() const;

    /// Starting to drag a row: records it and gives the drag data (the row as decimal text).
    std::string beginDrag(int row);
    /// The drag ended (dropped or not): nothing is being dragged any more.
    void endDrag() noexcept { m_draggingRow.reset(); }
    std::optional<int> draggingRow() const noexcept { return m_draggingRow; }
    /// Whether the dragged row may be dropped at `row`: only in the gap above a row (or after
    /// the last one), and not in its own place.
    bool canDrop(int row, bool betweenRows) const;
    /// Moves the dragged row into the gap above `row`. Refused (false) without a dragged row
    /// or when either index lies outside the chain.
    bool acceptDrop(int row);

    /// Called after every change the view may show.
    std::function<void()> onStateChange;

private:
    void validateVariable();

    std::vector<const Filter*> m_allFilters;
    icu::UnicodeString m_variableName;
    std::vector<const Filter*> m_filters;
    std::optional<icu::UnicodeString> m_errorMessage;
    std::shared_ptr<const OutputVariable> m_lastValidVariable;
    std::optional<int> m_draggingRow;
};

} // namespace quillet
