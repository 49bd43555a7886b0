#include "OrvTextView/Misc/QtColor.h"

#include <algorithm>
#include <cmath>

namespace orv {

namespace {

double channelLuminance(double value)
{
    return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

} // namespace

double relativeLuminance(const QColor& color)
{
    const QColor rgb = color.toRgb();
    return 0.2126 * channelLuminance(rgb.redF()) + 0.7152 * channelLuminance(rgb.greenF())
        + 0.0722 * channelLuminance(rgb.blueF());
}

QColor toQColor(const Color& color)
{
    return QColor::fromRgbF(float(color.red), float(color.green), float(color.blue), float(color.alpha));
}

std::optional<QColor> colorFromRgb(const QString& text)
{
    const auto color
        = Color::fromRgb(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), text.size()));
    if (!color)
        return std::nullopt;
    return toQColor(*color);
}

double contrastRatio(const QColor& first, const QColor& second)
{
    const double a = relativeLuminance(first);
    const double b = relativeLuminance(second);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

bool isDarkPalette(const QPalette& palette)
{
    return relativeLuminance(palette.color(QPalette::Base)) < relativeLuminance(palette.color(QPalette::Text));
}

double readableContrastOn(const QColor& ground, const QColor& text)
{
    return relativeLuminance(ground) < relativeLuminance(text) ? 5.0 : 4.5;
}

QColor fillOnDarkGround(const QColor& fill, const QColor& ground)
{
    const double target = contrastRatio(fill, Qt::white);
    const QColor from = ground.toRgb();
    const QColor to = fill.toRgb();
    constexpr int steps = 100;
    for (int step = 0; step <= steps; ++step) {
        const double amount = double(step) / steps;
        const auto channel = [amount](int a, int b) { return int(std::lround(a + (b - a) * amount)); };
        const QColor candidate(
            channel(from.red(), to.red()), channel(from.green(), to.green()), channel(from.blue(), to.blue()));
        if (contrastRatio(candidate, ground) >= target)
            return candidate;
    }
    return fill;
}

QColor readableColor(const QColor& color, const QColor& background, const QColor& toward, double minimum)
{
    if (contrastRatio(color, background) >= minimum)
        return color;
    constexpr int steps = 100;
    const QColor from = color.toRgb();
    const QColor to = toward.toRgb();
    for (int step = 1; step <= steps; ++step) {
        const double amount = double(step) / steps;
        const auto channel = [amount](float a, float b) { return std::clamp(a + (b - a) * float(amount), 0.0f, 1.0f); };
        const QColor candidate = QColor::fromRgbF(channel(from.redF(), to.redF()), channel(from.greenF(), to.greenF()),
            channel(from.blueF(), to.blueF()), from.alphaF());
        if (contrastRatio(candidate, background) >= minimum)
            return candidate;
    }
    return toward;
}

} // namespace orv
