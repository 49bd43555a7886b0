#include "editor/OutputVariableViewController.h"

#include "docs/views/QtText.h"
#include "editor/ErrorLabel.h"
#include "editor/FilterChainModel.h"
#include "expansion/Filter.h"

#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

namespace quillet {

namespace {

/// The filter list: rows are dragged within it; when a drag ends, dropped or not, nothing is
/// being dragged any more.
class FilterListView final : public QListView {
public:
    FilterListView(OutputVariableEditorState& state, QWidget* parent)
        : QListView(parent)
        , m_state(state)
    {
        setDragEnabled(true);
        setAcceptDrops(true);
        setDropIndicatorShown(true);
        setDragDropMode(QAbstractItemView::DragDrop);
        setDefaultDropAction(Qt::MoveAction);
        setSelectionMode(QAbstractItemView::SingleSelection);
        setUniformItemSizes(true);
        setStyleSheet(QStringLiteral("QListView::item { height: 17px; }"
                                     " QListView::item:selected { background: rgba(69, 155, 255, 51);"
                                     " color: palette(text); }"));
    }

protected:
    void startDrag(Qt::DropActions supportedActions) override
    {
        QListView::startDrag(supportedActions);
        m_state.endDrag();
    }

private:
    OutputVariableEditorState& m_state;
};

} // namespace

OutputVariableViewController::OutputVariableViewController(QWidget* parent)
    : QWidget(parent)
{
    setAccessibleName(tr("Output variable editor"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(8);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    auto* form = new QFormLayout;
    m_nameField = new QComboBox(this);
    m_nameField->setEditable(true);
    m_nameField->setInsertPolicy(QComboBox::NoInsert);
    m_nameField->setAccessibleName(tr("Variable name"));
    m_nameField->setMinimumWidth(220);
    form->addRow(tr("Variable:"), m_nameField);
    layout->addLayout(form);

    layout->addWidget(new QLabel(tr("Filters:"), this));
    m_filterModel = new FilterChainModel(m_state, this);
    m_filterTableView = new FilterListView(m_state, this);
    m_filterTableView->setModel(m_filterModel);
    m_filterTableView->setAccessibleName(tr("Filters"));
    m_filterTableView->setMinimumHeight(110);
    layout->addWidget(m_filterTableView);

    auto* buttons = new QHBoxLayout;
    auto* addButton = new QToolButton(this);
    addButton->setText(tr("Add Filter"));
    addButton->setAccessibleName(tr("Add filter"));
    addButton->setPopupMode(QToolButton::InstantPopup);
    m_addFilterMenu = new QMenu(addButton);
    for (const Filter* filter : m_state.allFilters()) {
        QAction* action = m_addFilterMenu->addAction(qtString(filter->name()));
        action->setToolTip(qtString(filter->id()));
        connect(action, &QAction::triggered, this, [this, filter] {
            commitEditing();
            m_state.addFilter(filter);
        });
    }
    addButton->setMenu(m_addFilterMenu);
    auto* removeButton = new QToolButton(this);
    removeButton->setText(QStringLiteral("\u2212"));
    removeButton->setAccessibleName(tr("Remove filter"));
    buttons->addWidget(addButton);
    buttons->addWidget(removeButton);
    buttons->addStretch();
    layout->addLayout(buttons);

    m_errorLabel = makeErrorLabel(this);
    layout->addWidget(m_errorLabel);
    setFocusProxy(m_nameField);

    // The name is the editor's once the user is done with it (Return, the focus moving on,
    // a name chosen from the list), not at every key.
    connect(m_nameField->lineEdit(), &QLineEdit::editingFinished, this, &OutputVariableViewController::commitEditing);
    connect(m_nameField, &QComboBox::textActivated, this, &OutputVariableViewController::commitEditing);
    // Every other change hands the typed name over first, so that it is never lost.
    connect(removeButton, &QToolButton::clicked, this, [this] {
        commitEditing();
        m_state.removeFilter(m_filterTableView->currentIndex().row());
    });

    m_state.onStateChange = [this] { refresh(); };
    refresh();
}

OutputVariableViewController::~OutputVariableViewController()
{
    m_state.onStateChange = nullptr;
}

void OutputVariableViewController::setVariables(const QStringList& names)
{
    m_variables = names;
    m_refreshing = true;
    const QString text = m_nameField->currentText();
    m_nameField->clear();
    m_nameField->addItems(names);
    m_nameField->setEditText(text);
    m_refreshing = false;
}

void OutputVariableViewController::commitEditing()
{
    if (m_refreshing)
        return;
    if (const icu::UnicodeString name = icuString(m_nameField->currentText()); name != m_state.variableName())
        m_state.setVariableName(name);
}

void OutputVariableViewController::refresh()
{
    m_refreshing = true;
    const QString name = qtString(m_state.variableName());
    if (m_nameField->currentText() != name)
        m_nameField->setEditText(name);
    m_filterModel->refresh();
    showErrorMessage(m_errorLabel, m_state.errorMessage());
    m_refreshing = false;
}

bool OutputVariableViewController::event(QEvent* event)
{
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::LayoutRequest)
        Q_EMIT preferredSizeChanged(sizeHint());
    return handled;
}

} // namespace quillet
