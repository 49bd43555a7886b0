#include "shell/PreferencesTabViewController.h"

#include "shell/GeneralPreferencesViewController.h"
#include "shell/ShortcutsPreferencesViewController.h"
#include "shell/TextPreferencesViewController.h"

#include <QShowEvent>

namespace quillet {

PreferencesTabViewController::PreferencesTabViewController(
    UserDefaults& defaults, StartAtLogin* startAtLogin, QWidget* parent)
    : orv::AutoresizingTabViewController(parent)
{
    setObjectName(QStringLiteral("PreferencesTabViewController"));
    setDocumentMode(true);
    addTab(new ShortcutsPreferencesViewController(defaults), tr("Shortcuts"));
    addTab(new TextPreferencesViewController(defaults), tr("Text"));
    addTab(new GeneralPreferencesViewController(defaults, startAtLogin), tr("General"));
}

void PreferencesTabViewController::showEvent(QShowEvent* event)
{
    orv::AutoresizingTabViewController::showEvent(event);
    // The base titles the window on a switch; the first tab titles it when it opens.
    window()->setWindowTitle(tabText(currentIndex()));
}

} // namespace quillet
