#pragma once

#include "editor/OutputVariableEditorState.h"

#include <QSize>
#include <QStringList>
#include <QWidget>

#include <memory>

class QComboBox;
class QLabel;
class QListView;
class QMenu;
class QToolButton;

namespace quillet {

class FilterChainModel;

/// The editor of one output placeholder, shown in the popover of its token: the variable
/// name (the pattern's input variables are offered), the filter chain in application order
/// (add from a menu of every filter, remove, reorder by dragging rows) and the message of
/// the last failed check. variable() is the last valid placeholder. The name changes the
/// placeholder when the user is done with it (Return, the focus moving on, a name chosen
/// from the list, or commitEditing()), not at every key.
class OutputVariableViewController final : public QWidget {
    Q_OBJECT
public:
    explicit OutputVariableViewController(QWidget* parent = nullptr);
    ~OutputVariableViewController() override;

    /// The input variable names offered for the name.
    void setVariables(const QStringList& names);
    QStringList variables() const { return m_variables; }

    const std::shared_ptr<const OutputVariable>& variable() const { return m_state.variable(); }
    void setVariable(std::shared_ptr<const OutputVariable> variable) { m_state.setVariable(std::move(variable)); }

    OutputVariableEditorState& state() noexcept { return m_state; }
    /// Hands the typed name to the placeholder, as leaving the field does; the popover calls
    /// it before it writes the placeholder back.
    void commitEditing();
    FilterChainModel* filterModel() const noexcept { return m_filterModel; }
    QComboBox* nameField() const noexcept { return m_nameField; }
    QListView* filterTableView() const noexcept { return m_filterTableView; }
    QMenu* addFilterMenu() const noexcept { return m_addFilterMenu; }
    QLabel* errorLabel() const noexcept { return m_errorLabel; }

Q_SIGNALS:
    void preferredSizeChanged(QSize size);

protected:
    bool event(QEvent* event) override;

private:
    void refresh();

    OutputVariableEditorState m_state;
    QStringList m_variables;
    bool m_refreshing = false;
    FilterChainModel* m_filterModel = nullptr;
    QComboBox* m_nameField = nullptr;
    QListView* m_filterTableView = nullptr;
    QMenu* m_addFilterMenu = nullptr;
    QLabel* m_errorLabel = nullptr;
};

} // namespace quillet
