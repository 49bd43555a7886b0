#include "shell/Updater.h"

#include "library/Websites.h"

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
