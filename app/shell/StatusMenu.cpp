#include "shell/StatusMenu.h"

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
