#include "shell/PreferencesWindowController.h"

#include "shell/MenuActions.h"
#include "shell/PreferencesTabViewController.h"

#include <QVBoxLayout>
#include <QWidget>

namespace quillet {

PreferencesWindowController::PreferencesWindowController(UserDefaults& defaults, StartAtLogin* startAtLogin)
    : m_window(new QWidget(nullptr, Qt::Window))
{
    m_window->setObjectName(QStringLiteral("PreferencesWindow"));
    m_window->setAccessibleName(QWidget::tr("Preferences"));
    auto* layout = new QVBoxLayout(m_window);
    layout->setContentsMargins(0, 0, 0, 0);
    m_tabs = new PreferencesTabViewController(defaults, startAtLogin, m_window);
    layout->addWidget(m_tabs);
    m_window->setWindowTitle(m_tabs->tabText(m_tabs->currentIndex()));
}

PreferencesWindowController::~PreferencesWindowController()
{
    delete m_window.data();
}

void PreferencesWindowController::showWindow()
{
    bringToFront(m_window);
}

} // namespace quillet
