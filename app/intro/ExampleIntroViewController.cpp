#include "intro/ExampleIntroViewController.h"

#include "library/Websites.h"

#include <QDesktopServices>
#include <QUrl>

namespace quillet {

ExampleIntroViewController::ExampleIntroViewController(const QString& identifier, QWidget* parent)
    : IntroViewController(identifier, parent)
{
}

void ExampleIntroViewController::next()
{
    requestNextPage();
}

void ExampleIntroViewController::openLink()
{
    QDesktopServices::openUrl(QUrl(QString::fromStdString(Websites::editors())));
}

} // namespace quillet
