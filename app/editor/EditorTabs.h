#pragma once

#include "library/BundleListElement.h"

#include <optional>
#include <vector>

namespace quillet {

/// What the right-hand side of the editor window shows for a selected element.
enum class EditorMode { docs = 0, edit = 1 };

/// The panes of the editor window's right-hand side, by their index.
enum class EditorTab { emptySelection = 0, bundleEditor = 1, expanderEditor = 2, docs = 3 };

/// The mode of a raw value: 1 is edit, 0 docs; anything else none.
std::optional<EditorMode> editorModeFromRawValue(int rawValue);
/// The tab of a raw value, 0 to 3; anything else none.
std::optional<EditorTab> editorTabFromRawValue(int rawValue);

/// The pane that the selection and the mode call for: only the first selected element
/// counts; nothing selected shows the empty pane in either mode.
EditorTab currentEditorTab(const std::vector<BundleListElement>& selection, EditorMode mode);

/// The one element the panes work on: the selected element when exactly one is selected,
/// else none (several selected rows show nothing in the panes).
std::optional<BundleListElement> singleSelectedElement(const std::vector<BundleListElement>& selection);

} // namespace quillet
