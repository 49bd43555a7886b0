#include "front/GlobalAction.h"

namespace quillet {

std::string_view globalActionName(GlobalAction action)
{
    switch (action) {
    case GlobalAction::expand:
        return "expand";
    case GlobalAction::showEditor:
        return "show-editor";
    case GlobalAction::toggleBrowser:
        return "toggle-browser";
    }
    return {};
}

std::optional<GlobalAction> globalActionNamed(std::string_view name)
{
    for (const GlobalAction action : allGlobalActions)
        if (globalActionName(action) == name)
            return action;
    return std::nullopt;
}

UserDefaultsKey shortcutKey(GlobalAction action)
{
    switch (action) {
    case GlobalAction::expand:
        return UserDefaultsKey::ExpandTextShortcut;
    case GlobalAction::showEditor:
        return UserDefaultsKey::ShowExpandersShortcut;
    case GlobalAction::toggleBrowser:
        return UserDefaultsKey::ShowExpanderBrowserShortcut;
    }
    return UserDefaultsKey::ExpandTextShortcut;
}

} // namespace quillet
