#include "docs/views/PageStyle.h"

#include "OrvTextView/Misc/QtColor.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <utility>

namespace quillet {

namespace {

constexpr double minimumTextContrast = 4.5;
// Steps of the search along a line between two colours.
constexpr int mixSteps = 100;

QColor mix(const QColor& from, const QColor& to, double amount)
{
    const QColor a = from.toRgb();
    const QColor b = to.toRgb();
    const auto channel = [amount](int x, int y) { return int(std::lround(x + (y - x) * amount)); };
    return QColor(channel(a.red(), b.red()), channel(a.green(), b.green()), channel(a.blue(), b.blue()));
}

double leastContrast(const QColor& color, const std::vector<QColor>& backgrounds)
{
    double least = 21;
    for (const QColor& background : backgrounds)
        least = std::min(least, orv::contrastRatio(color, background));
    return least;
}

// The first colour on the way from `from` to `to` that reaches `target` against every
// background, if any does.
std::optional<QColor> firstReaching(
    const QColor& from, const QColor& to, double target, const std::vector<QColor>& backgrounds)
{
    for (int step = 0; step <= mixSteps; ++step) {
        const QColor candidate = mix(from, to, double(step) / mixSteps);
        if (leastContrast(candidate, backgrounds) >= target)
            return candidate;
    }
    return std::nullopt;
}

// A colour declaration of a style sheet: the property and the hexadecimal value.
const QRegularExpression& colorDeclaration()
{
    static const QRegularExpression expression(QStringLiteral(
        R"((?<![\w-])(background-color|background|color)(\s*:\s*)(#(?:[0-9a-fA-F]{6}|[0-9a-fA-F]{3}))\b)"));
    return expression;
}

bool isBackgroundProperty(const QString& property)
{
    return property != QLatin1String("color");
}

QString hexName(const QColor& color)
{
    return color.name(QColor::HexRgb);
}

} // namespace

PageStyle::PageStyle(QColor background, QColor text, std::vector<QColor> underlays)
    : m_background(std::move(background))
    , m_text(std::move(text))
    , m_underlays(std::move(underlays))
{
}

PageStyle::PageStyle(const QPalette& palette, std::vector<QColor> underlays)
    : PageStyle(palette.color(QPalette::Base), palette.color(QPalette::Text), std::move(underlays))
{
}

bool PageStyle::isDark() const
{
    return orv::relativeLuminance(m_background) < orv::relativeLuminance(m_text);
}

QColor PageStyle::darkBackground(const QColor& written) const
{
    // A panel or a token stands out from the dark page as much as it does from the white one.
    return orv::fillOnDarkGround(written, m_background);
}

QColor PageStyle::darkText(const QColor& written, const std::vector<QColor>& backgrounds) const
{
    // Text keeps its emphasis where the palette allows, and is readable everywhere.
    const double target = std::max(minimumTextContrast, orv::contrastRatio(written, Qt::white));
    if (auto reached = firstReaching(written, m_text, target, backgrounds))
        return *reached;
    if (leastContrast(m_text, backgrounds) >= minimumTextContrast)
        return m_text;
    if (auto reached = firstReaching(m_text, Qt::white, minimumTextContrast, backgrounds))
        return *reached;
    return Qt::white;
}

QString PageStyle::styleSheet(const QString& lightStyleSheet) const
{
    if (!isDark())
        return lightStyleSheet;

    // Backgrounds first: the text colours are checked against all of them.
    std::map<QRgb, QColor> backgrounds;
    std::vector<QColor> allBackgrounds = m_underlays;
    allBackgrounds.push_back(m_background);
    for (auto it = colorDeclaration().globalMatch(lightStyleSheet); it.hasNext();) {
        const auto match = it.next();
        if (!isBackgroundProperty(match.captured(1)))
            continue;
        const QColor written(match.captured(3));
        if (backgrounds.count(written.rgb()) == 0) {
            backgrounds[written.rgb()] = darkBackground(written);
            allBackgrounds.push_back(backgrounds[written.rgb()]);
        }
    }
    std::map<QRgb, QColor> texts;
    QString result;
    qsizetype copied = 0;
    for (auto it = colorDeclaration().globalMatch(lightStyleSheet); it.hasNext();) {
        const auto match = it.next();
        const QColor written(match.captured(3));
        QColor made;
        if (isBackgroundProperty(match.captured(1))) {
            made = backgrounds.at(written.rgb());
        } else {
            auto found = texts.find(written.rgb());
            if (found == texts.end())
                found = texts.emplace(written.rgb(), darkText(written, allBackgrounds)).first;
            made = found->second;
        }
        result += QStringView(lightStyleSheet).mid(copied, match.capturedStart(3) - copied);
        result += hexName(made);
        copied = match.capturedEnd(3);
    }
    result += QStringView(lightStyleSheet).mid(copied);
    return result;
}

QString PageStyle::page(const QString& html) const
{
    if (!isDark())
        return html;
    static const QRegularExpression styleElement(QStringLiteral(R"((<style[^>]*>)(.*?)(</style>))"),
        QRegularExpression::DotMatchesEverythingOption | QRegularExpression::CaseInsensitiveOption);
    QString result;
    qsizetype copied = 0;
    for (auto it = styleElement.globalMatch(html); it.hasNext();) {
        const auto match = it.next();
        result += QStringView(html).mid(copied, match.capturedStart(2) - copied);
        result += styleSheet(match.captured(2));
        copied = match.capturedEnd(2);
    }
    result += QStringView(html).mid(copied);
    return result;
}

QString richTextPage(const QString& html)
{
    // A narrow no-break space pads the token inside its colour. On either side a space of a
    // tiny font stands for the token's margin: a monospaced font would make any space as wide
    // as a letter.
    static const QRegularExpression token(QStringLiteral(R"(<span class="variable">([^<]*)</span>)"));
    static const QRegularExpression exampleInput(
        QStringLiteral(R"((<code class="expanding">[^<]*</code>)(?=<code class="expanded">))"));
    const QString margin = QStringLiteral("<span style=\"font-size:4px\">\u2009</span>");
    QString result = html;
    result.replace(token, margin + QStringLiteral("<span class=\"variable\">\u202F\\1\u202F</span>") + margin);
    result.replace(exampleInput, QStringLiteral("\\1<br/>"));
    return result;
}

} // namespace quillet
