#include "OrvTextView/Misc/QtColor.h"

namespace orv {

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

} // namespace orv
