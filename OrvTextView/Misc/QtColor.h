#pragma once

#include "OrvTextView/Color.h"
#include "OrvTextView/OrvTextViewExport.h"

#include <QColor>
#include <QString>

#include <optional>

namespace orv {

/// The toolkit colour of a framework colour (sRGB, same components and alpha).
ORVTEXTVIEW_EXPORT QColor toQColor(const Color& color);

/// Reads "#RRGGBB" as Color::fromRgb() does and gives the toolkit colour; none when the
/// text is not "#" and six more characters after trimming.
ORVTEXTVIEW_EXPORT std::optional<QColor> colorFromRgb(const QString& text);

} // namespace orv
