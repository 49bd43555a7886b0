#pragma once

#include "editor/EditorTabs.h"
#include "library/BundleListElement.h"
#include "library/BundleStore.h"

#include <QStackedWidget>

#include <memory>
#include <optional>

namespace quillet {

class BundleEditorViewController;
class DocsViewController;
struct EditorServices;

/// What the expanderEditor tab shows for the selected expander. The window starts with one
/// that shows the expander's documentation page; the expander editor replaces it.
class ExpanderEditorPane {
public:
    virtual ~ExpanderEditorPane() = default;
    /// The pane's widget; the tab controller takes it into its stack and owns it.
    virtual QWidget* widget() = 0;
    /// The expander to show, or none when no single expander is selected.
    virtual void setExpander(const CustomExpanderPtr& expander) = 0;
};

/// The right-hand side of the editor window: one of the four panes of EditorTab, each
/// given the single selected element when it is of its kind.
class EditorTabViewController final : public QStackedWidget {
    Q_OBJECT
public:
    EditorTabViewController(BundleStore& store, const EditorServices& services, QWidget* parent = nullptr);
    ~EditorTabViewController() override;

    /// The single selected element, or none; handed to the panes.
    void setBundleListElement(const std::optional<BundleListElement>& element);
    std::optional<BundleListElement> bundleListElement() const { return m_element.lock(); }

    EditorTab selectedTab() const;
    void setSelectedTab(EditorTab tab);

    /// Puts a pane into the expanderEditor tab, replacing the one there (and destroying it);
    /// it is given the current expander at once.
    void setExpanderEditor(std::unique_ptr<ExpanderEditorPane> pane);
    ExpanderEditorPane* expanderEditor() const noexcept { return m_expanderEditor.get(); }

    BundleEditorViewController* bundleEditor() const noexcept { return m_bundleEditor; }
    DocsViewController* docsViewController() const noexcept { return m_docs; }

private:
    void giveExpanderToPane();

    WeakBundleListElement m_element;
    BundleEditorViewController* m_bundleEditor = nullptr;
    DocsViewController* m_docs = nullptr;
    std::unique_ptr<ExpanderEditorPane> m_expanderEditor;
};

} // namespace quillet
