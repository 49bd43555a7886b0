#pragma once

#include "front/UserDefaultsKey.h"

#include <array>
#include <optional>
#include <string_view>

namespace quillet {

/// The three actions of the global shortcuts, which the desktop can also run without one: by
/// their names through org.freedesktop.Application.ActivateAction, the desktop entry's actions
/// and `quillet action NAME`.
enum class GlobalAction {
    /// "expand": one expansion at the caret, as the expand shortcut's press.
    expand,
    /// "show-editor": shows the editor window.
    showEditor,
    /// "toggle-browser": shows the expander browser, or closes it when it is visible.
    toggleBrowser,
};

inline constexpr std::array<GlobalAction, 3> allGlobalActions { GlobalAction::expand, GlobalAction::showEditor,
    GlobalAction::toggleBrowser };

/// The action's name on the bus and on the command line.
std::string_view globalActionName(GlobalAction action);
/// The action of that exact name; none for any other.
std::optional<GlobalAction> globalActionNamed(std::string_view name);
/// The settings key of the action's shortcut.
UserDefaultsKey shortcutKey(GlobalAction action);

} // namespace quillet
