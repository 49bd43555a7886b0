#include "shell/StatusMenu.h"

#include "OrvTextView/Shortcut/ShortcutText.h"

#include <QMenuBar>

namespace quillet {

StatusMenu::StatusMenu(QWidget* parent)
    : QMenu(parent)
{
    setObjectName(QStringLiteral("statusBarMenu"));
    setAccessibleName(tr("Quillet"));

    m_expanders = addItem(this, tr("Expanders\u2026"), "showExpanders");
    m_expanderBrowser = addItem(this, tr("Expander Browser"), "showOrHideExpanderBrowser");
    m_previousView = addItem(this, tr("Previous View"), "showPreviousView");
    m_nextView = addItem(this, tr("Next View"), "showNextView");
    m_windowsSeparator = addSeparator();
    // The editor window answers these keys (it toggles its mode with either); the items
    // only show them.
    orv::showShortcutText(m_previousView, QKeySequence(Qt::CTRL | Qt::Key_PageUp));
    orv::showShortcutText(m_nextView, QKeySequence(Qt::CTRL | Qt::Key_PageDown));
    for (QAction* item : { m_expanders, m_expanderBrowser, m_previousView, m_nextView })
        item->setVisible(false);
    updateWindowsSeparator();

    addItem(this, tr("Preferences\u2026"), "showPreferences");
    addItem(this, tr("Introduction\u2026"), "showIntroduction");
    QMenu* help = addMenu(tr("Help"));
    help->setObjectName(QStringLiteral("helpMenu"));
    addItem(help, tr("Quillet Support"), "goToSupport");
    addItem(help, tr("Getting Started Online"), "goToIntroduction");
    addItem(help, tr("The Quillet Template Language"), "goToQuilletLanguage");
    help->addSeparator();
    addItem(help, tr("Send Feedback\u2026"), "sendFeedback");
    addItem(help, tr("Acknowledgements"), "showAcknowledgments");
    addItem(this, tr("Check for Updates\u2026"), "checkForUpdates");
    addItem(this, tr("About Quillet"), "showAbout");
    addSeparator();
    QAction* quit = addItem(this, tr("Quit Quillet"), "quit");
    quit->setMenuRole(QAction::QuitRole);
    // Reached where a window holds the item: the editor window's menu bar.
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    orv::showShortcutText(quit);
}

void StatusMenu::fillMenuBar(QMenuBar& bar) const
{
    const auto fill = [this](QMenu* menu, std::initializer_list<const char*> names) {
        for (const char* name : names) {
            if (!name)
                menu->addSeparator();
            else if (QAction* found = item(QString::fromLatin1(name)))
                menu->addAction(found);
        }
    };
    // First, before the menus of the window itself.
    auto* application = new QMenu(tr("&Quillet"), &bar);
    bar.insertMenu(bar.actions().value(0), application);
    application->setObjectName(QStringLiteral("applicationMenu"));
    fill(application,
        { "showOrHideExpanderBrowser", nullptr, "showPreferences", "showIntroduction", nullptr, "checkForUpdates",
            nullptr, "quit" });
    QMenu* view = bar.addMenu(tr("&View"));
    view->setObjectName(QStringLiteral("viewMenu"));
    fill(view, { "showPreviousView", "showNextView" });
    QMenu* help = bar.addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("helpMenu"));
    fill(help,
        { "goToSupport", "goToIntroduction", "goToQuilletLanguage", nullptr, "sendFeedback", "showAcknowledgments",
            nullptr, "showAbout" });
}

QAction* StatusMenu::addItem(QMenu* menu, const QString& title, const char* actionName)
{
    QAction* item = menu->addAction(title);
    item->setObjectName(QString::fromLatin1(actionName));
    return item;
}

QAction* StatusMenu::item(const QString& actionName) const
{
    return findChild<QAction*>(actionName);
}

void StatusMenu::setEditorWindowAvailable(bool available)
{
    for (QAction* item : { m_expanders, m_previousView, m_nextView })
        item->setVisible(available);
    updateWindowsSeparator();
}

void StatusMenu::setExpanderBrowserAvailable(bool available)
{
    m_expanderBrowser->setVisible(available);
    updateWindowsSeparator();
}

void StatusMenu::updateWindowsSeparator()
{
    m_windowsSeparator->setVisible(m_expanders->isVisible() || m_expanderBrowser->isVisible());
}

} // namespace quillet
