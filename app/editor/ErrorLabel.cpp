#include "editor/ErrorLabel.h"

#include "OrvTextView/Misc/QtColor.h"
#include "docs/views/QtText.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>

namespace quillet {

namespace {

// The error red of a light window. On a window too dark or too light for it, it is moved
// towards a light red or towards the window's text until it reads at 4.5:1 (5:1 on a dark
// window, where light letters show darker than their colour).
const QColor errorRed(0xd0, 0x31, 0x2d);
const QColor lightErrorRed(0xff, 0x8a, 0x80);

void applyErrorColor(QLabel* label)
{
    const QWidget* parent = label->parentWidget();
    const QPalette ground = parent ? parent->palette() : QApplication::palette(label);
    const QColor window = ground.color(QPalette::Window);
    const QColor windowText = ground.color(QPalette::WindowText);
    const bool dark = orv::relativeLuminance(window) < orv::relativeLuminance(windowText);
    const double readable = orv::readableContrastOn(window, windowText);
    QColor color = orv::readableColor(errorRed, window, dark ? lightErrorRed : windowText, readable);
    if (orv::contrastRatio(color, window) < readable)
        color = windowText;
    if (label->palette().color(QPalette::WindowText) == color)
        return;
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

// Follows the palette of the label's window.
class ErrorColorKeeper final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange)
            if (auto* label = qobject_cast<QLabel*>(watched))
                applyErrorColor(label);
        return false;
    }
};

} // namespace

QLabel* makeErrorLabel(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    label->setAccessibleName(QObject::tr("Error"));
    applyErrorColor(label);
    label->installEventFilter(new ErrorColorKeeper(label));
    return label;
}

void showErrorMessage(QLabel* label, const std::optional<icu::UnicodeString>& message)
{
    label->setText(message ? qtString(*message) : QString());
    label->setVisible(message.has_value());
}

} // namespace quillet
