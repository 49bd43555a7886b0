#include "editor/EditorTabs.h"

namespace quillet {

std::optional<EditorMode> editorModeFromRawValue(int rawValue)
{
    switch (rawValue) {
    case 0:
        return EditorMode::docs;
    case 1:
        return EditorMode::edit;
    default:
        return std::nullopt;
    }
}

std::optional<EditorTab> editorTabFromRawValue(int rawValue)
{
    if (rawValue < 0 || rawValue > 3)
        return std::nullopt;
    return static_cast<EditorTab>(rawValue);
}

EditorTab currentEditorTab(const std::vector<BundleListElement>& selection, EditorMode mode)
{
    if (selection.empty() || !selection.front().isValid())
        return EditorTab::emptySelection;
    if (mode == EditorMode::docs)
        return EditorTab::docs;
    return selection.front().isBundle() ? EditorTab::bundleEditor : EditorTab::expanderEditor;
}

std::optional<BundleListElement> singleSelectedElement(const std::vector<BundleListElement>& selection)
{
    if (selection.size() != 1 || !selection.front().isValid())
        return std::nullopt;
    return selection.front();
}

} // namespace quillet
