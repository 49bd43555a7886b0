#include "OrvTextView/Misc/ReadableText.h"

#include "OrvTextView/Misc/QtColor.h"

#include <QEvent>
#include <QLabel>
#include <QWidget>

namespace orv {

namespace {

class PaletteFollower final : public QObject {
public:
    PaletteFollower(QWidget* widget, std::function<void()> apply)
        : QObject(widget)
        , m_apply(std::move(apply))
    {
        widget->installEventFilter(this);
    }

    void run()
    {
        if (m_running)
            return;
        m_running = true;
        m_apply();
        m_running = false;
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::PaletteChange:
        case QEvent::ParentChange:
            run();
            break;
        default:
            break;
        }
        return false;
    }

private:
    std::function<void()> m_apply;
    bool m_running = false;
};

} // namespace

void followPalette(QWidget* widget, std::function<void()> apply)
{
    auto* follower = new PaletteFollower(widget, std::move(apply));
    follower->run();
}

QColor accentOn(const QColor& written, const QColor& ground, const QColor& text, const QColor& onDark)
{
    const bool dark = relativeLuminance(ground) < relativeLuminance(text);
    const double readable = readableContrastOn(ground, text);
    const QColor color = readableColor(written, ground, dark ? onDark : text, readable);
    return contrastRatio(color, ground) >= readable ? color : text;
}

QColor hintColor(const QPalette& palette)
{
    const QColor window = palette.color(QPalette::Window);
    const QColor text = palette.color(QPalette::Active, QPalette::WindowText);
    QColor quiet = palette.color(QPalette::Disabled, QPalette::WindowText);
    quiet.setAlpha(255);
    const double readable = readableContrastOn(window, text);
    const QColor color = readableColor(quiet, window, text, readable);
    return contrastRatio(color, window) >= readable ? color : text;
}

void makeHint(QLabel* label)
{
    label->setEnabled(true);
    followPalette(label, [label] {
        const QWidget* parent = label->parentWidget();
        const QColor color = hintColor(parent ? parent->palette() : label->palette());
        if (label->palette().color(QPalette::WindowText) == color)
            return;
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, color);
        label->setPalette(palette);
    });
}

} // namespace orv
