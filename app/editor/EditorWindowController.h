#pragma once

#include "editor/EditorServices.h"
#include "editor/EditorTabs.h"
#include "library/BundleListElement.h"
#include "library/BundleStore.h"

#include <QMainWindow>
#include <QObject>

#include <memory>
#include <vector>

class QAction;
class QButtonGroup;
class QSplitter;
class QTimer;
class QToolBar;

namespace quillet {

class BundleListViewController;
class EditorTabViewController;

/// The editor window itself. Other windows test for it to learn whether an editor is open.
class EditorWindow final : public QMainWindow {
    Q_OBJECT
public:
    explicit EditorWindow(QWidget* parent = nullptr);

Q_SIGNALS:
    void aboutToHide();
    /// Moved or resized.
    void frameChanged();

protected:
    void hideEvent(QHideEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
};

/// The editor window: the bundle list on the left and, on the right, the pane that the
/// selection and the mode call for (currentEditorTab). The mode starts as documentation;
/// creating or duplicating an element switches to edit. The window's frame and the split
/// position persist in the settings ("EditorWindowFrame", "EditorSplitViewAutosave").
///
/// The application makes one and keeps it: each request to show the editor brings the same
/// window forward, with the mode it had.
class EditorWindowController final : public QObject {
    Q_OBJECT
public:
    explicit EditorWindowController(BundleStore& store, EditorServices services = {}, QObject* parent = nullptr);
    ~EditorWindowController() override;

    EditorWindow* window() const noexcept { return m_window; }
    BundleListViewController* bundleListViewController() const noexcept { return m_bundleList; }
    EditorTabViewController* editorTabViewController() const noexcept { return m_tabs; }

    /// Shows the window, raised and active.
    void showWindow();

    /// Selects the element's row in the bundle list; the panes follow. An element the
    /// library does not hold changes nothing.
    void select(const BundleListElement& element);
    /// The same for a bundle or an expander known by reference, as the library holds it.
    void select(const Bundle& bundle);
    void select(const CustomExpander& expander);

    EditorMode mode() const noexcept { return m_mode; }
    void setMode(EditorMode mode);
    void toggleMode();

    const std::vector<BundleListElement>& selectedObjects() const noexcept { return m_selectedObjects; }
    EditorTab currentEditorTab() const { return quillet::currentEditorTab(m_selectedObjects, m_mode); }
    /// True exactly when the empty pane shows.
    bool isModeSegmentedControlHidden() const noexcept { return m_modeControlHidden; }

Q_SIGNALS:
    void modeChanged(quillet::EditorMode mode);

private:
    void setSelectedObjects(std::vector<BundleListElement> selection);
    void retab();
    void updateTitle();
    void saveFrame();

    std::vector<BundleListElement> m_selectedObjects;
    EditorMode m_mode = EditorMode::docs;
    bool m_modeControlHidden = false;
    EditorWindow* m_window = nullptr;
    BundleStore* m_store = nullptr;
    QSplitter* m_splitter = nullptr;
    QTimer* m_frameSaveTimer = nullptr;
    /// Whether the window took a frame stored by an earlier run.
    bool m_hasStoredFrame = false;
    QToolBar* m_toolBar = nullptr;
    QButtonGroup* m_modeControl = nullptr;
    // The tool bar shows and hides its widgets through these actions only.
    std::vector<QAction*> m_modeControlActions;
    BundleListViewController* m_bundleList = nullptr;
    EditorTabViewController* m_tabs = nullptr;
};

} // namespace quillet
