#include "editor/BundleListViewController.h"

#include "OrvTextView/Shortcut/ShortcutText.h"
#include "docs/views/PlainMessageBox.h"
#include "docs/views/QtText.h"
#include "library/Alert.h"
#include "text/UserErrorDescriptionType.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>

namespace quillet {

namespace {

class BundleRowDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(22);
        return size;
    }
};

} // namespace

BundleOutlineView::BundleOutlineView(QWidget* parent)
    : QTreeView(parent)
{
    setObjectName(QStringLiteral("bundleOutlineView"));
    setAccessibleName(tr("Bundles"));
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setItemDelegate(new BundleRowDelegate(this));
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    QPalette colors = palette();
    const QColor selection(0x45, 0x9B, 0xFF, 128);
    colors.setColor(QPalette::Active, QPalette::Highlight, selection);
    colors.setColor(QPalette::Inactive, QPalette::Highlight, selection);
    colors.setColor(QPalette::Active, QPalette::HighlightedText, colors.color(QPalette::Text));
    colors.setColor(QPalette::Inactive, QPalette::HighlightedText, colors.color(QPalette::Text));
    setPalette(colors);
}

void BundleOutlineView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        const QModelIndex clicked = indexAt(event->position().toPoint());
        if (clicked.isValid()) {
            selectionModel()->setCurrentIndex(clicked, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        }
        event->accept();
        return;
    }
    QTreeView::mousePressEvent(event);
}

void BundleOutlineView::keyPressEvent(QKeyEvent* event)
{
    const bool menuKey = event->key() == Qt::Key_Menu && event->modifiers() == Qt::NoModifier;
    const bool shiftF10 = event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier;
    if ((!menuKey && !shiftF10) || actions().isEmpty()) {
        QTreeView::keyPressEvent(event);
        return;
    }
    event->accept();
    // At the current row, or the list's corner. (Where the window system also turns the
    // menu key into a request of its own, one of the two reaches the open menu, which
    // ignores it.)
    const QRect row = currentIndex().isValid() ? visualRect(currentIndex()) : QRect();
    const QPoint at
        = row.isValid() && viewport()->rect().intersects(row) ? row.bottomLeft() + QPoint(8, 0) : QPoint(4, 4);
    showActionsMenu(viewport()->mapToGlobal(at));
}

void BundleOutlineView::contextMenuEvent(QContextMenuEvent* event)
{
    if (actions().isEmpty()) {
        QTreeView::contextMenuEvent(event);
        return;
    }
    event->accept();
    showActionsMenu(event->globalPos());
}

void BundleOutlineView::showActionsMenu(const QPoint& at)
{
    // A menu of its own, named, so that a screen reader tells what it offers.
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("bundleListMenu"));
    menu.setAccessibleName(tr("Bundle list actions"));
    menu.setTitle(tr("Bundle list actions"));
    menu.addActions(actions());
    menu.exec(at);
}

BundleListViewController::BundleListViewController(BundleStore& store, EditorServices services, QWidget* parent)
    : QWidget(parent)
    , m_services(services.completed())
{
    setObjectName(QStringLiteral("BundleListViewController"));
    setAccessibleName(tr("Bundle list"));
    m_model = new BundleListModel(store, this);
    m_outlineView = new BundleOutlineView(this);
    m_outlineView->setModel(m_model);

    auto action = [this](const QString& text, const QString& name, QKeySequence shortcut, auto slot) {
        auto* created = new QAction(text, this);
        created->setObjectName(name);
        // Anywhere in the window: a text field keeps the keys it edits with (Delete in text,
        // say) by claiming them first, and the window's menu offers every command besides.
        if (!shortcut.isEmpty()) {
            created->setShortcut(shortcut);
            created->setShortcutContext(Qt::WindowShortcut);
            orv::showShortcutText(created);
        }
        connect(created, &QAction::triggered, this, slot);
        addAction(created);
        return created;
    };
    m_newBundleAction = action(tr("New Bundle"), QStringLiteral("newBundle"),
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N), &BundleListViewController::newBundle);
    m_newExpanderAction = action(
        tr("New Expander"), QStringLiteral("newExpander"), QKeySequence::New, &BundleListViewController::newExpander);
    m_renameAction = action(tr("Rename"), QStringLiteral("renameSelectedItem"), QKeySequence(Qt::Key_F2),
        &BundleListViewController::renameSelectedItem);
    m_duplicateAction = action(tr("Duplicate"), QStringLiteral("duplicateSelectedItem"),
        QKeySequence(Qt::CTRL | Qt::Key_D), &BundleListViewController::duplicateSelectedItem);
    m_deleteAction = action(tr("Delete\u2026"), QStringLiteral("deleteSelectedItem"), QKeySequence::Delete,
        &BundleListViewController::deleteSelectedItem);
    m_importAction = action(tr("Import Bundles\u2026"), QStringLiteral("importBundles"),
        QKeySequence(Qt::CTRL | Qt::Key_O), &BundleListViewController::importBundles);
    m_exportAction = action(tr("Export Bundle\u2026"), QStringLiteral("exportSelectedBundle"),
        QKeySequence(Qt::CTRL | Qt::Key_E), &BundleListViewController::exportSelectedBundle);
    m_outlineView->addActions({ m_newBundleAction, m_newExpanderAction, m_renameAction, m_duplicateAction,
        m_deleteAction, m_importAction, m_exportAction });

    // The bar below the list: add (with a menu), delete.
    auto* addButton = new QToolButton(this);
    addButton->setObjectName(QStringLiteral("addButton"));
    addButton->setText(QStringLiteral("+"));
    addButton->setAccessibleName(tr("Add"));
    addButton->setToolTip(tr("Add a bundle or an expander"));
    auto* addMenu = new QMenu(addButton);
    addMenu->addAction(m_newBundleAction);
    addMenu->addAction(m_newExpanderAction);
    addMenu->addSeparator();
    addMenu->addAction(m_importAction);
    addButton->setMenu(addMenu);
    addButton->setPopupMode(QToolButton::InstantPopup);
    auto* deleteButton = new QToolButton(this);
    deleteButton->setObjectName(QStringLiteral("deleteButton"));
    deleteButton->setText(QStringLiteral("\u2212"));
    deleteButton->setAccessibleName(tr("Delete"));
    deleteButton->setToolTip(tr("Delete the selected bundle or expander"));
    connect(deleteButton, &QToolButton::clicked, this, &BundleListViewController::deleteSelectedItem);
    connect(m_deleteAction, &QAction::changed, deleteButton,
        [this, deleteButton] { deleteButton->setEnabled(m_deleteAction->isEnabled()); });

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(4, 2, 4, 4);
    bar->addWidget(addButton);
    bar->addWidget(deleteButton);
    bar->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_outlineView, 1);
    layout->addLayout(bar);

    connect(m_outlineView->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        updateActions();
        Q_EMIT selectionChanged(selectedObjects());
    });
    connect(m_model, &BundleListModel::bundleFilesDropped, this, &BundleListViewController::importBundleFiles,
        Qt::QueuedConnection);
    connect(m_model, &BundleListModel::elementMoved, this, [this](const BundleListElement& element) {
        // A row that left its bundle comes back selected where it landed.
        if (selectedObjects().empty())
            select(element);
    });

    if (m_model->rowCount() > 0)
        m_outlineView->selectionModel()->select(
            m_model->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    updateActions();
}

std::vector<QAction*> BundleListViewController::commands() const
{
    return { m_newBundleAction, m_newExpanderAction, m_renameAction, m_duplicateAction, m_deleteAction, m_importAction,
        m_exportAction };
}

std::vector<BundleListElement> BundleListViewController::selectedObjects() const
{
    QModelIndexList rows = m_outlineView->selectionModel()->selectedRows();
    // Row order: a bundle before its expanders, bundles and expanders by position.
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) {
        const auto key = [](const QModelIndex& index) {
            return index.parent().isValid() ? std::pair(index.parent().row(), index.row()) : std::pair(index.row(), -1);
        };
        return key(a) < key(b);
    });
    std::vector<BundleListElement> elements;
    elements.reserve(static_cast<std::size_t>(rows.size()));
    for (const auto& row : rows) {
        if (auto element = m_model->elementAt(row))
            elements.push_back(*element);
    }
    return elements;
}

std::optional<BundleListElement> BundleListViewController::firstSelected() const
{
    const auto selection = selectedObjects();
    if (selection.empty())
        return std::nullopt;
    return selection.front();
}

void BundleListViewController::select(const BundleListElement& element)
{
    const QModelIndex index = m_model->indexOf(element);
    if (!index.isValid())
        return;
    if (index.parent().isValid())
        m_outlineView->expand(index.parent());
    m_outlineView->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_outlineView->scrollTo(index);
}

bool BundleListViewController::canExport() const
{
    const auto first = firstSelected();
    return first && first->isBundle();
}

void BundleListViewController::updateActions()
{
    const auto selection = selectedObjects();
    const bool any = !selection.empty();
    m_newExpanderAction->setEnabled(selection.size() == 1);
    m_renameAction->setEnabled(any);
    m_duplicateAction->setEnabled(any);
    m_deleteAction->setEnabled(any);
    m_exportAction->setEnabled(canExport());
}

void BundleListViewController::insertedElement(const BundleListElement& element)
{
    select(element);
    Q_EMIT elementAdded(element);
    renameSelectedItem();
}

void BundleListViewController::newBundle()
{
    insertedElement(BundleListElement(m_model->actions().addBundle()));
}

void BundleListViewController::newExpander()
{
    const auto selection = selectedObjects();
    if (selection.size() != 1)
        return;
    if (auto expander = m_model->actions().addExpander(selection.front()))
        insertedElement(BundleListElement(expander));
}

void BundleListViewController::renameSelectedItem()
{
    const QModelIndex current = m_outlineView->currentIndex();
    if (!current.isValid() || !m_outlineView->selectionModel()->isSelected(current))
        return;
    // Called from anywhere in the window: the name's editor takes the keys typed next.
    m_outlineView->setFocus(Qt::ShortcutFocusReason);
    m_outlineView->edit(current);
}

void BundleListViewController::duplicateSelectedItem()
{
    const auto first = firstSelected();
    if (!first)
        return;
    if (auto copy = m_model->actions().duplicate(*first))
        insertedElement(*copy);
}

void BundleListViewController::exportSelectedBundle()
{
    const auto first = firstSelected();
    if (!first || !first->isBundle())
        return;
    const BundlePtr bundle = first->bundle();
    const QString path
        = m_services.fileDialogs->chooseExportFile(window(), qtString(BundleListActions::exportFileName(*bundle)));
    if (path.isEmpty())
        return;
    try {
        BundleListActions::exportBundle(*bundle, std::filesystem::path(path.toStdString()));
    } catch (const UserErrorDescriptionType& error) {
        m_services.alerts->runModal(Alert::fromError(error));
    }
}

void BundleListViewController::importBundles()
{
    importBundleFiles(m_services.fileDialogs->chooseImportFiles(window()));
}

void BundleListViewController::importBundleFiles(const QStringList& paths)
{
    std::vector<std::filesystem::path> files;
    for (const auto& path : paths)
        files.emplace_back(path.toStdString());
    const auto before = m_model->rowCount();
    m_model->actions().importBundleFiles(files);
    // Show the last imported bundle.
    if (m_model->rowCount() > before)
        select(*m_model->elementAt(m_model->index(m_model->rowCount() - 1, 0)));
}

std::optional<BundleListElement> BundleListViewController::neighbourAfterRemoving(
    const BundleListElement& element) const
{
    const QModelIndex index = m_model->indexOf(element);
    if (!index.isValid())
        return std::nullopt;
    // The next row of the same level, else the previous one, else the bundle that held it.
    if (index.row() + 1 < m_model->rowCount(index.parent()))
        return m_model->elementAt(index.siblingAtRow(index.row() + 1));
    if (index.row() > 0)
        return m_model->elementAt(index.siblingAtRow(index.row() - 1));
    return m_model->elementAt(index.parent());
}

void BundleListViewController::deleteSelectedItem()
{
    const auto first = firstSelected();
    if (!first || m_deleteQuestion)
        return;
    // The question is about this element: the answer removes it, whatever is selected then.
    const WeakBundleListElement asked(*first);
    auto* question = new QMessageBox(QMessageBox::Warning, QString(),
        qtString(BundleListActions::deleteQuestion(*first)), QMessageBox::NoButton, window());
    question->setObjectName(QStringLiteral("deleteQuestion"));
    showPlainText(*question);
    // The answers take Alt and their first letter.
    auto* yes = question->addButton(tr("&Yes"), QMessageBox::YesRole);
    yes->setObjectName(QStringLiteral("yesButton"));
    auto* no = question->addButton(tr("&No"), QMessageBox::NoRole);
    no->setObjectName(QStringLiteral("noButton"));
    question->setDefaultButton(no);
    question->setWindowModality(Qt::WindowModal);
    question->setAttribute(Qt::WA_DeleteOnClose);
    m_deleteQuestion = question;
    connect(question, &QMessageBox::buttonClicked, this, [this, asked, yes](QAbstractButton* button) {
        if (button != yes)
            return;
        if (auto element = asked.lock()) {
            const auto neighbour = neighbourAfterRemoving(*element);
            // Only a removed selection moves to the neighbour; a selection elsewhere stays.
            if (m_model->actions().remove(*element) && neighbour && selectedObjects().empty())
                select(*neighbour);
        }
    });
    connect(question, &QObject::destroyed, this, [this] { m_deleteQuestion = nullptr; });
    question->open();
}

} // namespace quillet
