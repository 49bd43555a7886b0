#include "intro/ImageOnlyIntroViewController.h"

namespace quillet {

ImageOnlyIntroViewController::ImageOnlyIntroViewController(const QString& identifier, QWidget* parent)
    : IntroViewController(identifier, parent)
{
}

void ImageOnlyIntroViewController::next()
{
    requestNextPage();
}

} // namespace quillet
