#include "shell/Updater.h"

#include "shell/Websites.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QUrl>

namespace quillet {

void Updater::checkForUpdates() const
{
    const std::string version = QCoreApplication::applicationVersion().toStdString();
    QDesktopServices::openUrl(QUrl(QString::fromStdString(Websites::updates(version))));
}

} // namespace quillet
