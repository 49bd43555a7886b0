#include "preferences/PreferencesTabViewController.h"

#include "preferences/GeneralPreferencesViewController.h"
#include "preferences/ShortcutsPreferencesViewController.h"
#include "preferences/TextPreferencesViewController.h"

#include <QLayout>
#include <QShowEvent>
#include <QTabBar>

namespace quillet {

PreferencesTabViewController::PreferencesTabViewController(
    UserDefaults& defaults, StartAtLogin* startAtLogin, GlobalShortcutRoutes* shortcutRoutes, QWidget* parent)
    : orv::AutoresizingTabViewController(parent)
{
    setObjectName(QStringLiteral("PreferencesTabViewController"));
    // The page area is as large as its largest page unless the hidden pages are left out of
    // its size; only then can the window take a smaller tab's own size. The pages must be
    // left out before the base class fits the window, so this tab bar tells us first.
    auto* bar = new QTabBar(this);
    connect(bar, &QTabBar::currentChanged, this, &PreferencesTabViewController::sizeByCurrentPage);
    setTabBar(bar);
    setDocumentMode(true);
    addTab(new ShortcutsPreferencesViewController(defaults, shortcutRoutes), tr("Shortcuts"));
    addTab(new TextPreferencesViewController(defaults), tr("Text"));
    addTab(new GeneralPreferencesViewController(defaults, startAtLogin), tr("General"));
    sizeByCurrentPage(currentIndex());
}

void PreferencesTabViewController::sizeByCurrentPage(int index)
{
    for (int i = 0; i < count(); ++i) {
        const auto policy = i == index ? QSizePolicy::Preferred : QSizePolicy::Ignored;
        widget(i)->setSizePolicy(policy, policy);
    }
    // The window's minimum size follows at once, not at the next layout pass.
    if (QLayout* layout = window()->layout())
        layout->activate();
}

void PreferencesTabViewController::showEvent(QShowEvent* event)
{
    orv::AutoresizingTabViewController::showEvent(event);
    // The base titles the window on a switch; the first tab titles it when it opens.
    window()->setWindowTitle(tabText(currentIndex()));
}

} // namespace quillet
