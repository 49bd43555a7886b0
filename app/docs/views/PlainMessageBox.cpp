#include "docs/views/PlainMessageBox.h"

#include <QLabel>
#include <QMessageBox>

namespace quillet {

void showPlainText(QMessageBox& box)
{
    box.setTextFormat(Qt::PlainText);
    for (QLabel* label : box.findChildren<QLabel*>()) {
        label->setTextFormat(Qt::PlainText);
        label->setOpenExternalLinks(false);
        label->setTextInteractionFlags(
            label->textInteractionFlags() & ~Qt::LinksAccessibleByMouse & ~Qt::LinksAccessibleByKeyboard);
    }
}

} // namespace quillet
