#include "preferences/PreferencesWindowController.h"

#include "OrvTextView/Misc/WindowFront.h"
#include "preferences/PreferencesTabViewController.h"

#include <QAction>
#include <QVBoxLayout>
#include <QWidget>

namespace quillet {

PreferencesWindowController::PreferencesWindowController(
    UserDefaults& defaults, StartAtLogin* startAtLogin, GlobalShortcutRoutes* shortcutRoutes)
    : m_window(new QWidget(nullptr, Qt::Window))
{
    m_window->setObjectName(QStringLiteral("PreferencesWindow"));
    m_window->setAccessibleName(QWidget::tr("Preferences"));
    auto* layout = new QVBoxLayout(m_window);
    layout->setContentsMargins(0, 0, 0, 0);
    m_tabs = new PreferencesTabViewController(defaults, startAtLogin, shortcutRoutes, m_window);
    layout->addWidget(m_tabs);
    m_window->setWindowTitle(m_tabs->tabText(m_tabs->currentIndex()));

    // Escape closes the window, as it does a dialog. A recorder that is listening takes
    // the key first: there it only stops the recording.
    auto* close = new QAction(QWidget::tr("Close"), m_window);
    close->setObjectName(QStringLiteral("closePreferences"));
    close->setShortcuts({ QKeySequence(Qt::Key_Escape), QKeySequence::Close });
    QObject::connect(close, &QAction::triggered, m_window, &QWidget::close);
    m_window->addAction(close);
}

PreferencesWindowController::~PreferencesWindowController()
{
    delete m_window.data();
}

void PreferencesWindowController::showWindow()
{
    orv::bringToFront(m_window);
}

} // namespace quillet
