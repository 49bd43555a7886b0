#pragma once

#include "editor/InputVariableEditorState.h"

#include <QSize>
#include <QWidget>

#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QTableWidget;
class QTableWidgetItem;
class QToolButton;

namespace quillet {

/// The editor of one input variable, shown in the popover of its token: a chooser of the
/// eight kinds, the name and the boxes the kind calls for (switch cases, enum elements,
/// default value, embedded expander), with the message of the last failed check below.
///
/// Every change rebuilds and checks the variable (InputVariableEditorState); variable()
/// is the last valid one, which the token writes back when the popover closes. A text field
/// changes the variable when the user is done with it (Return, the focus moving on, or
/// commitEditing()), not at every key.
class InputVariableViewController final : public QWidget {
    Q_OBJECT
public:
    explicit InputVariableViewController(
        InputVariableEditorState::ExpandersSource enabledExpanders, QWidget* parent = nullptr);
    ~InputVariableViewController() override;

    void setExpander(ExpanderPtr expander) { m_state.setExpander(std::move(expander)); }
    InputVariablePtr variable() const { return m_state.variable(); }
    void setVariable(InputVariablePtr variable, std::shared_ptr<const ExpanderController> controller = {});

    InputVariableEditorState& state() noexcept { return m_state; }
    /// Hands the text fields' texts to the variable, as leaving them does; the popover
    /// calls it before it writes the variable back.
    void commitEditing();

    QComboBox* kindChooser() const noexcept { return m_kindChooser; }
    QLineEdit* nameField() const noexcept { return m_nameField; }
    QLineEdit* defaultValueField() const noexcept { return m_defaultValueField; }
    QTableWidget* keyValueTable() const noexcept { return m_keyValueTable; }
    QTableWidget* valueTable() const noexcept { return m_valueTable; }
    QComboBox* expanderChooser() const noexcept { return m_expanderChooser; }
    QLabel* errorLabel() const noexcept { return m_errorLabel; }
    /// The boxes, for their visibility: key/value, value, text, default value, selectable value.
    QWidget* keyValueBox() const noexcept { return m_keyValueBox; }
    QWidget* valueBox() const noexcept { return m_valueBox; }
    QWidget* textBox() const noexcept { return m_textBox; }
    QWidget* defaultValueBox() const noexcept { return m_defaultValueBox; }
    QWidget* selectableValueBox() const noexcept { return m_selectableValueBox; }
    QWidget* nameBox() const noexcept { return m_nameBox; }

Q_SIGNALS:
    /// The size the popover should take, after every layout change.
    void preferredSizeChanged(QSize size);

protected:
    bool event(QEvent* event) override;

private:
    void buildInterface();
    void refresh();
    void refreshBoxes();
    void refreshTables();
    void refreshExpanders();
    void keyValueItemChanged(QTableWidgetItem* item);
    void valueItemChanged(QTableWidgetItem* item);

    InputVariableEditorState m_state;
    bool m_refreshing = false;
    QComboBox* m_kindChooser = nullptr;
    QWidget* m_nameBox = nullptr;
    QLineEdit* m_nameField = nullptr;
    QWidget* m_keyValueBox = nullptr;
    QLabel* m_keyValueLabel = nullptr;
    QTableWidget* m_keyValueTable = nullptr;
    QWidget* m_valueBox = nullptr;
    QLabel* m_valueLabel = nullptr;
    QTableWidget* m_valueTable = nullptr;
    QWidget* m_textBox = nullptr;
    QLabel* m_textLabel = nullptr;
    QLineEdit* m_textField = nullptr;
    QWidget* m_defaultValueBox = nullptr;
    QLabel* m_defaultValueLabel = nullptr;
    QLineEdit* m_defaultValueField = nullptr;
    QWidget* m_selectableValueBox = nullptr;
    QLabel* m_selectableValueLabel = nullptr;
    QComboBox* m_expanderChooser = nullptr;
    QLabel* m_errorLabel = nullptr;
};

} // namespace quillet
