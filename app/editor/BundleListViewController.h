#pragma once

#include "editor/BundleListModel.h"
#include "editor/EditorServices.h"
#include "library/BundleListElement.h"

#include <QTreeView>
#include <QWidget>

#include <optional>
#include <vector>

class QAction;
class QMessageBox;
class QToolButton;

namespace quillet {

/// The tree of the bundle list. A right click selects the clicked row alone before the
/// context menu opens; the Menu key and Shift+F10 open it at the current row. Every row is
/// 22 pixels high.
class BundleOutlineView final : public QTreeView {
    Q_OBJECT
public:
    explicit BundleOutlineView(QWidget* parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    /// The list's commands in a menu at `at` (global coordinates), until it closes.
    void showActionsMenu(const QPoint& at);
};

/// The sidebar of the editor window: the library as a tree of bundles and their expanders,
/// with the commands that create, rename, duplicate, delete, enable, import and export
/// them, and drag and drop of rows and of bundle files.
///
/// It never saves: every command changes the library's objects through BundleListActions
/// and the store saves. Its commands answer their shortcuts anywhere in the window (commands()
/// lists them for the window's menu); those that make or rename an element leave the
/// keyboard in the element's name. Deleting asks first and removes the element that was asked about,
/// whatever is selected when the answer comes.
class BundleListViewController final : public QWidget {
    Q_OBJECT
public:
    BundleListViewController(BundleStore& store, EditorServices services, QWidget* parent = nullptr);

    BundleListModel* model() const noexcept { return m_model; }
    BundleOutlineView* outlineView() const noexcept { return m_outlineView; }

    /// The selected elements, in row order.
    std::vector<BundleListElement> selectedObjects() const;
    /// Selects the element's row alone (expanding its bundle); an element the library does
    /// not hold leaves the selection as it is.
    void select(const BundleListElement& element);
    /// True when the first selected element is a bundle.
    bool canExport() const;

    /// New bundle, new expander, rename, duplicate, delete, import and export, in that order.
    std::vector<QAction*> commands() const;

    /// The open delete question, if any.
    QMessageBox* deleteQuestion() const { return m_deleteQuestion; }

public Q_SLOTS:
    void newBundle();
    void newExpander();
    void renameSelectedItem();
    void duplicateSelectedItem();
    void exportSelectedBundle();
    void importBundles();
    void deleteSelectedItem();
    /// Imports bundle files (also those dropped onto the list), one after the other.
    void importBundleFiles(const QStringList& paths);

Q_SIGNALS:
    /// The selection changed; the elements in row order.
    void selectionChanged(const std::vector<quillet::BundleListElement>& selection);
    /// A bundle or an expander was created or duplicated by a command of the list.
    void elementAdded(const quillet::BundleListElement& element);

private:
    void insertedElement(const BundleListElement& element);
    void updateActions();
    std::optional<BundleListElement> firstSelected() const;
    /// The row to select once `element` is removed: the next one of its level, else the
    /// previous one, else its bundle; none when nothing is left to select.
    std::optional<BundleListElement> neighbourAfterRemoving(const BundleListElement& element) const;

    EditorServices m_services;
    BundleListModel* m_model = nullptr;
    BundleOutlineView* m_outlineView = nullptr;
    QMessageBox* m_deleteQuestion = nullptr;
    QAction* m_newBundleAction = nullptr;
    QAction* m_newExpanderAction = nullptr;
    QAction* m_renameAction = nullptr;
    QAction* m_duplicateAction = nullptr;
    QAction* m_deleteAction = nullptr;
    QAction* m_importAction = nullptr;
    QAction* m_exportAction = nullptr;
};

} // namespace quillet
