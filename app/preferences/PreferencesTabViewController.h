#pragma once

#include "OrvTextView/Misc/AutoresizingTabViewController.h"
#include "OrvTextView/TabController/TabController.h"

namespace quillet {

class GlobalShortcutRoutes;
class StartAtLogin;
class UserDefaults;

/// The preferences' tabs: shortcuts, text and general. Each tab keeps its own size: on a
/// switch the window takes the size the tab had when it was first shown, keeping its top
/// left corner, and the tab's label as its title.
class PreferencesTabViewController final : public orv::AutoresizingTabViewController {
    Q_OBJECT
public:
    enum class Tab { shortcuts = 0, text = 1, general = 2 };

    /// shortcutRoutes (may be null) tells the shortcuts tab how each shortcut reaches Quillet.
    PreferencesTabViewController(UserDefaults& defaults, StartAtLogin* startAtLogin,
        GlobalShortcutRoutes* shortcutRoutes = nullptr, QWidget* parent = nullptr);

    /// The tabs by name.
    orv::TabController<Tab> tabs() { return orv::TabController<Tab>(this); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void sizeByCurrentPage(int index);
};

} // namespace quillet
