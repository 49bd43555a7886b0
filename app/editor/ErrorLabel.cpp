#include "editor/ErrorLabel.h"

#include "docs/views/QtText.h"

#include <QLabel>

namespace quillet {

QLabel* makeErrorLabel(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("color: #d0312d;"));
    label->setAccessibleName(QObject::tr("Error"));
    return label;
}

void showErrorMessage(QLabel* label, const std::optional<icu::UnicodeString>& message)
{
    label->setText(message ? qtString(*message) : QString());
    label->setVisible(message.has_value());
}

} // namespace quillet
