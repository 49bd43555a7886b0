#pragma once

#include <QColor>
#include <QPalette>
#include <QString>

#include <vector>

namespace quillet {

/// The colours of the documentation pages and of the expander browser's rows in a palette.
///
/// The pages' style sheets are written for a light page. Against a light background they are
/// used exactly as written. Against a dark one every colour of a sheet is remade from the
/// palette: the page's own white becomes the background, every other background is the
/// background lightened towards the written colour until it stands out from the page as much
/// as the written one stands out from white, and every text colour is moved towards the
/// palette's text colour until it reaches 4.5:1 against each of those backgrounds (and the
/// given underlays, such as a selection), or its written contrast against white if that is
/// higher. Only six-digit and three-digit hexadecimal colours are recognised.
class PageStyle {
public:
    /// The page is drawn on `background`; plain text takes `text`. `underlays` are further
    /// colours text may stand on that no sheet names (a row's selection).
    PageStyle(QColor background, QColor text, std::vector<QColor> underlays = {});
    /// The palette's Base and Text.
    explicit PageStyle(const QPalette& palette, std::vector<QColor> underlays = {});

    /// Whether the background is darker than the text: the sheets are remade.
    bool isDark() const;

    /// The sheet as the page should use it: unchanged on a light background.
    QString styleSheet(const QString& lightStyleSheet) const;

    /// A whole page with its embedded style sheets ("<style>" elements) made for this palette.
    QString page(const QString& html) const;

    const QColor& background() const noexcept { return m_background; }
    const QColor& text() const noexcept { return m_text; }

private:
    QColor darkBackground(const QColor& written) const;
    QColor darkText(const QColor& written, const std::vector<QColor>& backgrounds) const;

    QColor m_background;
    QColor m_text;
    std::vector<QColor> m_underlays;
};

/// A generated page made fit for the toolkit's rich-text view, which knows no inline-block
/// and no display property: each variable token is padded inside its own colour and set apart
/// from its neighbours by a thin space, so adjacent tokens read as separate words, and an
/// example's output starts on the line below its input.
QString richTextPage(const QString& html);

} // namespace quillet
