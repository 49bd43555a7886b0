#include "shell/DesktopEnvironment.h"

#include "library/Alert.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

namespace quillet {
namespace {

QString toQString(const icu::UnicodeString& text)
{
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

} // namespace

void QtUserAlerts::runModal(const Alert& alert)
{
    QMessageBox box;
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(QStringLiteral("Quillet"));
    box.setText(toQString(alert.messageText));
    box.setInformativeText(toQString(alert.informativeText));
    if (alert.buttonTitles.empty())
        box.addButton(QMessageBox::Ok);
    for (const auto& title : alert.buttonTitles)
        box.addButton(toQString(title), QMessageBox::AcceptRole);
    box.exec();
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
