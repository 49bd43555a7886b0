#pragma once

namespace orv {

/// A length that scales with the text view's font, used for the paddings of a TextFormat.
struct FontSize {
    enum class Unit {
        points, ///< an absolute length in points
        characters, ///< a multiple of the width of one lower-case "a" in the font
        relative, ///< a multiple of the font's point size
    };

    Unit unit = Unit::points;
    double value = 0;

    static constexpr FontSize points(double value) { return { Unit::points, value }; }
    static constexpr FontSize characters(double value) { return { Unit::characters, value }; }
    /// Relative sizes are single-precision by contract; the value is widened when stored,
    /// which multiplies exactly as widening it at the multiplication would.
    static constexpr FontSize relative(float value) { return { Unit::relative, double(value) }; }

    /// The length in points for a font of `pointSize` points whose "a" is `widthOfA` points wide.
    constexpr double size(double pointSize, double widthOfA) const
    {
        switch (unit) {
        case Unit::points:
            return value;
        case Unit::characters:
            return widthOfA * value;
        case Unit::relative:
            return pointSize * value;
        }
        return value;
    }

    friend constexpr bool operator==(const FontSize&, const FontSize&) = default;
};

} // namespace orv
