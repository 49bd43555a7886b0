#include "editor/EditorTabViewController.h"

#include "OrvTextView/Misc/ReadableText.h"
#include "docs/views/DocsViewController.h"
#include "editor/BundleEditorViewController.h"
#include "editor/EditorServices.h"
#include "editor/ExpanderAndPatternViewController.h"

#include <QLabel>

namespace quillet {

EditorTabViewController::EditorTabViewController(BundleStore& store, const EditorServices& services, QWidget* parent)
    : QStackedWidget(parent)
{
    setObjectName(QStringLiteral("EditorTabViewController"));
    setAccessibleName(tr("Editor"));
    auto* empty = new QLabel(tr("No Selection"), this);
    empty->setObjectName(QStringLiteral("emptySelectionPane"));
    empty->setAlignment(Qt::AlignCenter);
    orv::makeHint(empty);
    m_bundleEditor = new BundleEditorViewController(this);
    m_docs = new DocsViewController(store, this);
    m_docs->browser()->setUrlOpener(services.urlOpener);
    m_expanderEditor = std::make_unique<ExpanderEditorPaneAdapter>(store, services);

    insertWidget(static_cast<int>(EditorTab::emptySelection), empty);
    insertWidget(static_cast<int>(EditorTab::bundleEditor), m_bundleEditor);
    insertWidget(static_cast<int>(EditorTab::expanderEditor), m_expanderEditor->widget());
    insertWidget(static_cast<int>(EditorTab::docs), m_docs);
    setCurrentIndex(static_cast<int>(EditorTab::emptySelection));
}

EditorTabViewController::~EditorTabViewController() = default;

void EditorTabViewController::setBundleListElement(const std::optional<BundleListElement>& element)
{
    m_element = element ? WeakBundleListElement(*element) : WeakBundleListElement();
    m_bundleEditor->setBundle(element ? element->bundle() : nullptr);
    giveExpanderToPane();
    m_docs->setBundleListElement(element);
}

void EditorTabViewController::giveExpanderToPane()
{
    const auto element = m_element.lock();
    m_expanderEditor->setExpander(element ? element->expander() : nullptr);
}

EditorTab EditorTabViewController::selectedTab() const
{
    return editorTabFromRawValue(currentIndex()).value_or(EditorTab::emptySelection);
}

void EditorTabViewController::setSelectedTab(EditorTab tab)
{
    setCurrentIndex(static_cast<int>(tab));
}

void EditorTabViewController::setExpanderEditor(std::unique_ptr<ExpanderEditorPane> pane)
{
    if (!pane)
        return;
    const int index = static_cast<int>(EditorTab::expanderEditor);
    const bool wasCurrent = currentIndex() == index;
    QWidget* old = widget(index);
    removeWidget(old);
    insertWidget(index, pane->widget());
    m_expanderEditor = std::move(pane);
    delete old;
    if (wasCurrent)
        setCurrentIndex(index);
    giveExpanderToPane();
}

} // namespace quillet
