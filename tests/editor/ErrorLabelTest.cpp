#include "editor/ErrorLabel.h"

#include "OrvTextView/Misc/QtColor.h"

#include <QLabel>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>

namespace quillet {
namespace {

struct GroundCase {
    const char* name;
    QColor window, windowText;
    bool nearlyTheRed; // the written red misses 4.5:1 on a light grey window only just
};

QPalette paletteOn(const GroundCase& ground)
{
    QPalette palette;
    palette.setColor(QPalette::Window, ground.window);
    palette.setColor(QPalette::WindowText, ground.windowText);
    return palette;
}

TEST(ErrorLabelTest, TheMessageReadsOnEveryWindowAndFollowsItsPalette)
{
    const QColor red(0xd0, 0x31, 0x2d); // the message's red on a light window
    const GroundCase grounds[] = {
        { "Light", QColor(0xef, 0xef, 0xef), Qt::black, true },
        { "DarkerScheme", QColor(0x22, 0x20, 0x20), Qt::white, false },
        { "AdwaitaDark", QColor(0x35, 0x35, 0x35), QColor(0xee, 0xee, 0xec), false },
    };
    for (const auto& ground : grounds) {
        QWidget window;
        window.setPalette(paletteOn(ground));
        QLabel* label = makeErrorLabel(&window);
        const QColor shown = label->palette().color(QPalette::WindowText);
        EXPECT_GE(orv::contrastRatio(shown, ground.window), 4.5) << ground.name;
        EXPECT_GT(shown.red(), 2 * shown.blue()) << ground.name << ": still a red";
        if (ground.nearlyTheRed) {
            EXPECT_LE(std::abs(shown.red() - red.red()) + std::abs(shown.green() - red.green()), 8) << ground.name;
        }

        // The desktop switches between light and dark while the window is open.
        const GroundCase& other = grounds[ground.nearlyTheRed ? 2 : 0];
        window.setPalette(paletteOn(other));
        EXPECT_GE(orv::contrastRatio(label->palette().color(QPalette::WindowText), other.window), 4.5)
            << ground.name << " then " << other.name;
    }
}

} // namespace
} // namespace quillet
