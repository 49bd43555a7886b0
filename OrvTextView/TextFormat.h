#pragma once

#include "OrvTextView/Color.h"
#include "OrvTextView/FontSize.h"

#include <any>
#include <memory>
#include <optional>

namespace orv {

/// The metrics of the font that a format's paddings are measured in: the view's basic font
/// with the format's bold and italic traits applied.
struct FontMetrics {
    double pointSize = 0;
    /// The advance width of one lower-case "a" in that font, in points.
    double widthOfA = 0;
};

/// The paragraph layout a format asks for, in points. An absent value keeps the toolkit's
/// default for the paragraph.
struct ParagraphSpacing {
    std::optional<double> spacingBefore;
    std::optional<double> lineSpacing;
    std::optional<double> firstLineHeadIndent;
    std::optional<double> headIndent;
    /// A positive length from the trailing edge, passed to the toolkit unchanged.
    std::optional<double> tailIndent;

    friend bool operator==(const ParagraphSpacing&, const ParagraphSpacing&) = default;
};

/// How the text matched by one highlighting pattern looks.
///
/// Formats are shared by reference (TextFormatPtr): whoever holds one sees later changes
/// to it, and the view reads it again at every re-colouring. A new format has every
/// attribute off or absent. Traits are only ever added to the view's font, so a format
/// without bold leaves an already bold font bold.
struct TextFormat {
    bool isBold = false;
    bool isItalic = false;
    std::optional<Color> color;
    std::optional<Color> backgroundColor;
    /// Space before the paragraph.
    std::optional<FontSize> topPadding;
    /// Line spacing of the paragraph (not the space after it).
    std::optional<FontSize> bottomPadding;
    /// Indent of the paragraph's lines from the leading edge.
    std::optional<FontSize> leftPadding;
    /// Tail indent of the paragraph.
    std::optional<FontSize> rightPadding;
    /// Indent of the first line when it differs from leftPadding; needs leftPadding.
    std::optional<FontSize> firstLineLeftPadding;
    /// A toolkit attachment object that the view sets on the matched text; empty when absent.
    /// Held type-erased so that this header stays free of the toolkit.
    std::any attachment;

    /// The paragraph layout of the format measured in `font`, or none when neither
    /// topPadding nor leftPadding is set (the other paddings alone make no paragraph style).
    std::optional<ParagraphSpacing> paragraphSpacing(const FontMetrics& font) const
    {
        if (!topPadding && !leftPadding)
            return std::nullopt;
        const auto measure = [&](const FontSize& length) { return length.size(font.pointSize, font.widthOfA); };
        ParagraphSpacing spacing;
        if (topPadding)
            spacing.spacingBefore = measure(*topPadding);
        if (bottomPadding)
            spacing.lineSpacing = measure(*bottomPadding);
        if (leftPadding) {
            spacing.firstLineHeadIndent = measure(firstLineLeftPadding ? *firstLineLeftPadding : *leftPadding);
            spacing.headIndent = measure(*leftPadding);
        }
        if (rightPadding)
            spacing.tailIndent = measure(*rightPadding);
        return spacing;
    }
};

using TextFormatPtr = std::shared_ptr<TextFormat>;

} // namespace orv
