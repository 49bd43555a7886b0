#include "editor/InputVariableViewController.h"

#include "docs/views/QtText.h"
#include "editor/ErrorLabel.h"

#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace quillet {

namespace {

/// A table of a variable's values (enum elements, switch cases) that keeps the keyboard to
/// the dialog's ways: Tab and Shift+Tab go on to the next control rather than around the
/// rows, from the last column of a row being edited too (between a case's key and value they
/// go to the other column); a row is edited with Return, F2 or a double click, never by Space
/// or the first letter typed on it, which would replace its value; and what a cell holds
/// when the user leaves it, by Escape too, is kept (Escape then closes the popover, as it
/// does from the other fields).
class ValueTable final : public QTableWidget {
public:
    ValueTable(int columns, QWidget* parent)
        : QTableWidget(0, columns, parent)
    {
        setTabKeyNavigation(false);
        setEditTriggers(
            QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    }

    /// Hands an open cell's text to its row, as leaving the cell does.
    void commitOpenEditor()
    {
        if (state() != QAbstractItemView::EditingState)
            return;
        if (QWidget* editor = indexWidget(currentIndex()))
            commitData(editor);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        const bool plain = event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier;
        if (plain && state() != QAbstractItemView::EditingState) {
            switch (event->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                if (currentIndex().isValid()) {
                    edit(currentIndex(), QAbstractItemView::EditKeyPressed, event);
                    event->accept();
                    return;
                }
                break;
            case Qt::Key_Space:
                // Selects the row, edits nothing.
                if (currentIndex().isValid())
                    selectionModel()->select(
                        currentIndex(), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
                event->accept();
                return;
            default:
                break;
            }
        }
        QTableWidget::keyPressEvent(event);
    }

    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override
    {
        switch (hint) {
        case QAbstractItemDelegate::RevertModelCache: {
            // Escape: the text is kept and the popover closes.
            commitData(editor);
            QTableWidget::closeEditor(editor, QAbstractItemDelegate::NoHint);
            if (QWidget* popover = window(); popover != this && popover->windowFlags().testFlag(Qt::Popup))
                popover->close();
            return;
        }
        case QAbstractItemDelegate::EditNextItem:
        case QAbstractItemDelegate::EditPreviousItem: {
            const bool next = hint == QAbstractItemDelegate::EditNextItem;
            const int column = currentIndex().column() + (next ? 1 : -1);
            if (column >= 0 && column < columnCount()) {
                QTableWidget::closeEditor(editor, QAbstractItemDelegate::SubmitModelCache);
                const QModelIndex other = model()->index(currentIndex().row(), column);
                setCurrentIndex(other);
                edit(other);
                return;
            }
            QTableWidget::closeEditor(editor, QAbstractItemDelegate::SubmitModelCache);
            focusNextPrevChild(next);
            return;
        }
        default:
            QTableWidget::closeEditor(editor, hint);
        }
    }
};

/// Draws a selected row as one flat band of #459BFF at 20 % over the table's ground, under
/// the cells' own text colour: the style's selection would shade it, a translucent one is laid
/// by the row and again by each cell, and the style's focus frame would tint it once more (the
/// band itself shows the current row).
class SelectionBandDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem cell(option);
        if (option.state & QStyle::State_Selected) {
            const QColor ground = option.palette.color(QPalette::Base).toRgb();
            const QColor tint(0x45, 0x9b, 0xff);
            const auto over = [](int under, int colour) { return qRound(under + (colour - under) * 0.2); };
            painter->fillRect(option.rect,
                QColor(over(ground.red(), tint.red()), over(ground.green(), tint.green()),
                    over(ground.blue(), tint.blue())));
            cell.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
        }
        QStyledItemDelegate::paint(painter, cell, index);
    }
};

QTableWidget* makeTable(const QStringList& headers, QWidget* parent)
{
    auto* table = new ValueTable(static_cast<int>(headers.size()), parent);
    table->setHorizontalHeaderLabels(headers);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(20);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setMinimumHeight(100);
    table->setItemDelegate(new SelectionBandDelegate(table));
    return table;
}

/// A titled box: the label above, the content below.
QWidget* makeBox(QLabel*& label, QWidget* content, QWidget* buttons, QWidget* parent)
{
    auto* box = new QWidget(parent);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    label = new QLabel(box);
    layout->addWidget(label);
    layout->addWidget(content);
    if (buttons)
        layout->addWidget(buttons);
    return box;
}

/// Opens the first cell of a table's last (new) row for typing. The row becomes the current
/// one, so Tab moves along it and the remove button removes it.
void editNewRow(QTableWidget* table)
{
    QTableWidgetItem* item = table->item(table->rowCount() - 1, 0);
    if (!item)
        return;
    table->setCurrentItem(item);
    table->editItem(item);
}

QWidget* makeRowButtons(QWidget* parent, QToolButton*& add, QToolButton*& remove, const QString& what)
{
    auto* bar = new QWidget(parent);
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);
    add = new QToolButton(bar);
    add->setText(QStringLiteral("+"));
    add->setAccessibleName(InputVariableViewController::tr("Add %1").arg(what));
    remove = new QToolButton(bar);
    remove->setText(QStringLiteral("\u2212"));
    remove->setAccessibleName(InputVariableViewController::tr("Remove %1").arg(what));
    layout->addWidget(add);
    layout->addWidget(remove);
    layout->addStretch();
    return bar;
}

void setTextKeepingCursor(QLineEdit* field, const QString& text)
{
    if (field->text() != text)
        field->setText(text);
}

} // namespace

InputVariableViewController::InputVariableViewController(
    InputVariableEditorState::ExpandersSource enabledExpanders, QWidget* parent)
    : QWidget(parent)
    , m_state(std::move(enabledExpanders))
{
    buildInterface();
    m_state.onStateChange = [this] { refresh(); };
    refresh();
}

InputVariableViewController::~InputVariableViewController()
{
    m_state.onStateChange = nullptr;
}

void InputVariableViewController::setVariable(
    InputVariablePtr variable, std::shared_ptr<const ExpanderController> controller)
{
    m_state.setVariable(std::move(variable), std::move(controller));
}

void InputVariableViewController::buildInterface()
{
    setAccessibleName(tr("Input variable editor"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(8);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    auto* kindRow = new QFormLayout;
    m_kindChooser = new QComboBox(this);
    m_kindChooser->setAccessibleName(tr("Variable type"));
    for (const VariableKind* kind : InputVariableEditorState::allVariableTypes())
        m_kindChooser->addItem(qtString(kind->typeName));
    kindRow->addRow(tr("Type:"), m_kindChooser);
    layout->addLayout(kindRow);

    m_nameBox = new QWidget(this);
    auto* nameRow = new QFormLayout(m_nameBox);
    nameRow->setContentsMargins(0, 0, 0, 0);
    m_nameField = new QLineEdit(m_nameBox);
    m_nameField->setAccessibleName(tr("Variable name"));
    m_nameField->setMinimumWidth(220);
    nameRow->addRow(tr("Name:"), m_nameField);
    layout->addWidget(m_nameBox);

    QToolButton* addKeyValue = nullptr;
    QToolButton* removeKeyValue = nullptr;
    m_keyValueTable = makeTable({ tr("Key"), tr("Value") }, this);
    m_keyValueTable->setAccessibleName(tr("Cases"));
    m_keyValueBox = makeBox(
        m_keyValueLabel, m_keyValueTable, makeRowButtons(this, addKeyValue, removeKeyValue, tr("case")), this);
    layout->addWidget(m_keyValueBox);

    QToolButton* addValue = nullptr;
    QToolButton* removeValue = nullptr;
    m_valueTable = makeTable({ tr("Value") }, this);
    m_valueTable->setAccessibleName(tr("Elements"));
    m_valueBox = makeBox(m_valueLabel, m_valueTable, makeRowButtons(this, addValue, removeValue, tr("element")), this);
    layout->addWidget(m_valueBox);

    m_textField = new QLineEdit(this);
    m_textBox = makeBox(m_textLabel, m_textField, nullptr, this);
    layout->addWidget(m_textBox);

    m_defaultValueField = new QLineEdit(this);
    m_defaultValueField->setAccessibleName(tr("Default value"));
    m_defaultValueBox = makeBox(m_defaultValueLabel, m_defaultValueField, nullptr, this);
    layout->addWidget(m_defaultValueBox);

    m_expanderChooser = new QComboBox(this);
    m_expanderChooser->setAccessibleName(tr("Embedded expander"));
    m_selectableValueBox = makeBox(m_selectableValueLabel, m_expanderChooser, nullptr, this);
    layout->addWidget(m_selectableValueBox);

    m_errorLabel = makeErrorLabel(this);
    layout->addWidget(m_errorLabel);
    // Opening the popover puts the caret into the name.
    setFocusProxy(m_nameField);

    connect(m_kindChooser, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (m_refreshing)
            return;
        commitEditing();
        m_state.setCurrentVariableTypeIndex(index);
    });
    // A field's text is the editor's once the user is done with it (Return, or the focus
    // moving on), not at every key: a name typed on the way to another is never kept. Every
    // other change hands the fields over first, so that what they show is never lost.
    for (QLineEdit* field : { m_nameField, m_defaultValueField, m_textField })
        connect(field, &QLineEdit::editingFinished, this, &InputVariableViewController::commitEditing);
    connect(m_expanderChooser, &QComboBox::activated, this, [this](int index) {
        commitEditing();
        const auto& choices = m_state.data().selectableValues();
        if (choices && index >= 0 && index < static_cast<int>(choices->size()))
            m_state.data().setSelectedValue(choices->at(static_cast<std::size_t>(index)));
    });
    connect(m_keyValueTable, &QTableWidget::itemChanged, this, &InputVariableViewController::keyValueItemChanged);
    connect(m_valueTable, &QTableWidget::itemChanged, this, &InputVariableViewController::valueItemChanged);
    connect(addKeyValue, &QToolButton::clicked, this, [this] {
        commitEditing();
        m_state.addKeyValue();
        editNewRow(m_keyValueTable);
    });
    connect(removeKeyValue, &QToolButton::clicked, this, [this] {
        commitEditing();
        m_state.removeKeyValue(m_keyValueTable->currentRow());
    });
    connect(addValue, &QToolButton::clicked, this, [this] {
        commitEditing();
        m_state.addValue();
        editNewRow(m_valueTable);
    });
    connect(removeValue, &QToolButton::clicked, this, [this] {
        commitEditing();
        m_state.removeValue(m_valueTable->currentRow());
    });
}

void InputVariableViewController::commitEditing()
{
    if (m_refreshing)
        return;
    const auto optionalText = [](const QLineEdit* field) {
        return field->text().isEmpty() ? std::nullopt : std::optional(icuString(field->text()));
    };
    // A cell still being typed in counts as left.
    for (QTableWidget* table : { m_keyValueTable, m_valueTable })
        static_cast<ValueTable*>(table)->commitOpenEditor();
    auto& data = m_state.data();
    // Each is handed over only when it differs: every write rebuilds the variable.
    if (const icu::UnicodeString name = icuString(m_nameField->text()); name != data.variableName())
        data.setVariableName(name);
    if (const auto value = optionalText(m_defaultValueField); value != data.defaultValue())
        data.setDefaultValue(value);
    if (const auto value = optionalText(m_textField); value != data.text())
        data.setText(value);
}

void InputVariableViewController::refresh()
{
    m_refreshing = true;
    m_kindChooser->setCurrentIndex(m_state.currentVariableTypeIndex());
    setTextKeepingCursor(m_nameField, qtString(m_state.data().variableName()));
    setTextKeepingCursor(m_defaultValueField, qtString(m_state.data().defaultValue().value_or(u"")));
    setTextKeepingCursor(m_textField, qtString(m_state.data().text().value_or(u"")));
    refreshTables();
    refreshExpanders();
    refreshBoxes();
    showErrorMessage(m_errorLabel, m_state.errorMessage());
    m_refreshing = false;
}

void InputVariableViewController::refreshBoxes()
{
    const InputVariableEditorMode mode = m_state.editorMode();
    const auto show
        = [](QWidget* box, QLabel* label, const std::optional<InputVariableEditorMode::BoxConfiguration>& entry) {
              if (entry)
                  label->setText(qtString(entry->title));
              box->setVisible(entry.has_value());
          };
    m_nameBox->setVisible(m_state.isNameBoxVisible());
    show(m_keyValueBox, m_keyValueLabel, mode.keyValueBox);
    show(m_valueBox, m_valueLabel, mode.valueBox);
    show(m_textBox, m_textLabel, mode.textBox);
    show(m_defaultValueBox, m_defaultValueLabel, mode.defaultValueBox);
    show(m_selectableValueBox, m_selectableValueLabel, mode.selectableValueBox);
}

void InputVariableViewController::refreshTables()
{
    const QSignalBlocker keyValueBlocker(m_keyValueTable);
    const auto keyValues = m_state.data().keyValues().value_or(InputVariableEditorData::KeyValueList {});
    m_keyValueTable->setRowCount(static_cast<int>(keyValues.size()));
    for (int row = 0; row < static_cast<int>(keyValues.size()); ++row) {
        const auto& object = keyValues[static_cast<std::size_t>(row)];
        const QString texts[] = { qtString(object->key()), qtString(object->value()) };
        for (int column = 0; column < 2; ++column) {
            QTableWidgetItem* item = m_keyValueTable->item(row, column);
            if (!item)
                m_keyValueTable->setItem(row, column, new QTableWidgetItem(texts[column]));
            else if (item->text() != texts[column])
                item->setText(texts[column]);
        }
    }
    const QSignalBlocker valueBlocker(m_valueTable);
    const auto values = m_state.data().values().value_or(InputVariableEditorData::ValueList {});
    m_valueTable->setRowCount(static_cast<int>(values.size()));
    for (int row = 0; row < static_cast<int>(values.size()); ++row) {
        const QString text = qtString(values[static_cast<std::size_t>(row)]->value());
        QTableWidgetItem* item = m_valueTable->item(row, 0);
        if (!item)
            m_valueTable->setItem(row, 0, new QTableWidgetItem(text));
        else if (item->text() != text)
            item->setText(text);
    }
}

void InputVariableViewController::refreshExpanders()
{
    const QSignalBlocker blocker(m_expanderChooser);
    m_expanderChooser->clear();
    const auto& choices = m_state.data().selectableValues();
    int selected = -1;
    if (choices) {
        for (std::size_t i = 0; i < choices->size(); ++i) {
            const ExpanderPtr& expander = choices->at(i);
            m_expanderChooser->addItem(tr("%1 (%2)").arg(qtString(expander->name()), qtString(expander->identifier())));
            if (expander == m_state.data().selectedValue())
                selected = static_cast<int>(i);
        }
    }
    m_expanderChooser->setCurrentIndex(selected);
}

void InputVariableViewController::keyValueItemChanged(QTableWidgetItem* item)
{
    if (m_refreshing || !item)
        return;
    commitEditing();
    const auto& rows = m_state.data().keyValues();
    if (!rows || item->row() >= static_cast<int>(rows->size()))
        return;
    const auto& object = rows->at(static_cast<std::size_t>(item->row()));
    if (item->column() == 0)
        object->setKey(icuString(item->text()));
    else
        object->setValue(icuString(item->text()));
}

void InputVariableViewController::valueItemChanged(QTableWidgetItem* item)
{
    if (m_refreshing || !item)
        return;
    commitEditing();
    const auto& rows = m_state.data().values();
    if (!rows || item->row() >= static_cast<int>(rows->size()))
        return;
    rows->at(static_cast<std::size_t>(item->row()))->setValue(icuString(item->text()));
}

bool InputVariableViewController::event(QEvent* event)
{
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::LayoutRequest)
        Q_EMIT preferredSizeChanged(sizeHint());
    return handled;
}

} // namespace quillet
