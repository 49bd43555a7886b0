#include "platform/DesktopEnvironment.h"

#include "docs/views/PlainMessageBox.h"
#include "docs/views/QtText.h"
#include "library/Alert.h"
#include "platform/ProcessExit.h"
#include "text/UnicodeConversion.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <iostream>

namespace quillet {
void QtUserAlerts::runModal(const Alert& alert)
{
    if (processIsExiting()) {
        std::cerr << toUtf8(alert.messageText) << '\n' << toUtf8(alert.informativeText) << std::endl;
        return;
    }
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
    : m_timer(std::make_unique<QTimer>())
{
    m_timer->setSingleShot(true);
    m_timer->setInterval(delayMilliseconds);
    QObject::connect(m_timer.get(), &QTimer::timeout, [this] {
        // Taken first: the save may schedule the next one.
        auto save = std::move(m_save);
        m_save = nullptr;
        if (save)
            save();
    });
}

QtSaveScheduler::~QtSaveScheduler()
{
    if (processIsExiting())
        (void)m_timer.release(); // Qt may be gone already; the process ends with it
}

void QtSaveScheduler::schedule(std::function<void()> save)
{
    m_save = std::move(save);
    if (!processIsExiting() && !m_timer->isActive())
        m_timer->start();
}

void QtSaveScheduler::cancel()
{
    m_save = nullptr;
    if (!processIsExiting())
        m_timer->stop();
}

void QtSaveScheduler::post(std::function<void()> action)
{
    // Queued to the timer's thread, the event loop's; dropped once the timer is gone.
    QMetaObject::invokeMethod(m_timer.get(), std::move(action), Qt::QueuedConnection);
}

void QtApplicationControl::activate(bool)
{
    if (processIsExiting())
        return;
    if (QWidget* window = QApplication::activeModalWidget())
        window->activateWindow();
}

void QtApplicationControl::terminate()
{
    if (processIsExiting())
        return;
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(1); });
}

} // namespace quillet
