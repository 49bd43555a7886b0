#include "shell/DesktopEnvironment.h"

#include "docs/views/PlainMessageBox.h"
#include "docs/views/QtText.h"
#include "library/Alert.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

namespace quillet {
void QtUserAlerts::runModal(const Alert& alert)
{
    QMessageBox box;
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(QStringLiteral("Quillet"));
    box.setText(qtString(alert.messageText));
    box.setInformativeText(qtString(alert.informativeText));
    showPlainText(box);
    if (alert.buttonTitles.empty())
        box.addButton(QMessageBox::Ok);
    for (const auto& title : alert.buttonTitles)
        box.addButton(qtString(title), QMessageBox::AcceptRole);
    box.exec();
}

QtSaveScheduler::QtSaveScheduler()
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(delayMilliseconds);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        // Taken first: the save may schedule the next one.
        auto save = std::move(m_save);
        m_save = nullptr;
        if (save)
            save();
    });
}

void QtSaveScheduler::schedule(std::function<void()> save)
{
    m_save = std::move(save);
    if (!m_timer.isActive())
        m_timer.start();
}

void QtSaveScheduler::cancel()
{
    m_timer.stop();
    m_save = nullptr;
}

void QtApplicationControl::activate(bool)
{
    if (QWidget* window = QApplication::activeModalWidget())
        window->activateWindow();
}

void QtApplicationControl::terminate()
{
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(1); });
}

} // namespace quillet
