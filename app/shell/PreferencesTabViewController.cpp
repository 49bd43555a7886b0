#include "shell/PreferencesTabViewController.h"

#include "shell/GeneralPreferencesViewController.h"
#include "shell/ShortcutsPreferencesViewController.h"
#include "shell/TextPreferencesViewController.h"

#include <QShowEvent>

namespace quillet {

PreferencesTabViewController::PreferencesTabViewController(UserDefaults& defaults, StartAtLogin* startAtLogin,
                                                           QWidget* parent)
    : QTabWidget(parent)
{
    setObjectName(QStringLiteral("PreferencesTabViewController"));
    setDocumentMode(true);
    addTab(new ShortcutsPreferencesViewController(defaults), tr("Shortcuts"));
    addTab(new TextPreferencesViewController(defaults), tr("Text"));
    addTab(new GeneralPreferencesViewController(defaults, startAtLogin), tr("General"));
    connect(this, &QTabWidget::currentChanged, this, [this](int index) {
        if (index >= 0)
            window()->setWindowTitle(tabText(index));
    });
}

void PreferencesTabViewController::showEvent(QShowEvent* event)
{
    QTabWidget::showEvent(event);
    window()->setWindowTitle(tabText(currentIndex()));
}

} // namespace quillet
