#include "docs/views/DocsViewController.h"
#include "docs/views/ExpanderBrowserWindowController.h"
#include "docs/views/PageStyle.h"

#include "OrvTextView/Misc/QtColor.h"
#include "editor/EditorTestSupport.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QPainter>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextList>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace quillet {
namespace {

using orv::contrastRatio;

constexpr double readableContrast = 4.5;

struct PaletteCase {
    const char* name;
    QColor window, windowText, base, text, link, highlight;
    // On a light palette the pages keep their written light look, whose accents and
    // secondary greys are lighter than 4.5:1; those colours are not held to it there.
    bool keepsLightLook = false;
};

const std::vector<QColor> lightLookAccents
    = { QColor(0x99, 0x99, 0x99), QColor(0xaa, 0xaa, 0xaa), QColor(0x88, 0x88, 0x88), QColor(0xbb, 0xbb, 0xbb),
          QColor(0x3b, 0x9a, 0xfb), QColor(0x1a, 0x7f, 0xd0), QColor(0x52, 0xc0, 0xff), QColor(Qt::white) };

void PrintTo(const PaletteCase& c, std::ostream* out)
{
    *out << c.name;
}

QPalette paletteOf(const PaletteCase& c)
{
    QPalette palette(c.windowText, c.window, c.window.lighter(130), c.window.darker(130), c.window.darker(110), c.text,
        Qt::white, c.base, c.window);
    palette.setColor(QPalette::Link, c.link);
    palette.setColor(QPalette::Highlight, c.highlight);
    return palette;
}

// A light desktop, and the two dark ones the browser was unreadable in.
const PaletteCase paletteCases[] = {
    { "Light", QColor(0xef, 0xef, 0xef), Qt::black, Qt::white, Qt::black, Qt::blue, QColor(0x30, 0x8c, 0xc6), true },
    { "DarkerScheme", QColor(0x22, 0x20, 0x20), Qt::white, QColor(0x3d, 0x3d, 0x3d), Qt::white,
        QColor(0x09, 0x86, 0xd3), QColor(0x12, 0x60, 0x8a) },
    { "AdwaitaDark", QColor(0x35, 0x35, 0x35), QColor(0xee, 0xee, 0xec), QColor(0x2d, 0x2d, 0x2d),
        QColor(0xee, 0xee, 0xec), QColor(0x35, 0x84, 0xe4), QColor(0x15, 0x53, 0x9e) },
};

/// A text fragment as laid out: its text, the colour it is drawn in and where (one rectangle
/// per line it spans), in the coordinates of the image it is checked in.
struct ShownText {
    QString text;
    QColor color;
    bool hasBackground;
    std::vector<QRect> lines;
};

std::vector<ShownText> shownTexts(const QTextDocument& document, const QColor& plainText, QPoint origin)
{
    std::vector<ShownText> result;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QPointF blockOrigin = document.documentLayout()->blockBoundingRect(block).topLeft() + origin;
        const QTextLayout* layout = block.layout();
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QBrush foreground = fragment.charFormat().foreground();
            ShownText shown { .text = fragment.text(),
                .color = foreground.style() == Qt::NoBrush ? plainText : foreground.color(),
                .hasBackground = fragment.charFormat().background().style() != Qt::NoBrush,
                .lines = {} };
            const int start = fragment.position() - block.position();
            const int end = start + fragment.length();
            for (int i = 0; i < layout->lineCount(); ++i) {
                const QTextLine line = layout->lineAt(i);
                const int from = std::max(start, line.textStart());
                const int to = std::min(end, line.textStart() + line.textLength());
                if (from >= to)
                    continue;
                const double left = line.cursorToX(from);
                const double right = line.cursorToX(to);
                shown.lines.push_back(
                    QRectF(left, line.y(), right - left, line.height()).translated(blockOrigin).toAlignedRect());
            }
            result.push_back(std::move(shown));
        }
    }
    return result;
}

/// The colour most pixels of the area have: the background of what is drawn there.
QColor backgroundIn(const QImage& image, const QRect& area)
{
    std::map<QRgb, int> counts;
    const QRect inside = area & image.rect();
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            ++counts[image.pixel(x, y) | 0xff000000u];
    QRgb most = 0;
    int mostCount = -1;
    for (const auto& [rgb, count] : counts)
        if (count > mostCount) {
            most = rgb;
            mostCount = count;
        }
    return QColor::fromRgb(most);
}

/// The strongest contrast of any pixel of the area against the area's background.
double strongestContrastIn(const QImage& image, const QRect& area)
{
    const QColor background = backgroundIn(image, area);
    double strongest = 1;
    const QRect inside = area & image.rect();
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            strongest = std::max(strongest, contrastRatio(QColor::fromRgb(image.pixel(x, y)), background));
    return strongest;
}

/// The window as the screen shows it, its translucent parts laid over `under`.
QImage screenImage(QWidget* window, const QColor& under)
{
    QImage image(window->size(), QImage::Format_RGB32);
    image.fill(under);
    QPainter painter(&image);
    painter.drawPixmap(0, 0, window->grab());
    return image;
}

bool isBlank(const QString& text)
{
    return text.trimmed().isEmpty();
}

/// Every shown text fragment is drawn at 4.5:1 or more against what is under it.
void expectReadable(const QImage& image, const std::vector<ShownText>& texts, const std::string& where,
    bool keepsLightLook, int leastChecked)
{
    int checked = 0;
    for (const auto& shown : texts) {
        if (isBlank(shown.text))
            continue;
        if (keepsLightLook
            && std::find(lightLookAccents.begin(), lightLookAccents.end(), shown.color) != lightLookAccents.end())
            continue;
        for (const QRect& line : shown.lines) {
            if (!image.rect().contains(line.center()))
                continue; // cut off below the view
            const QColor background = backgroundIn(image, line);
            ++checked;
            EXPECT_GE(contrastRatio(shown.color, background), readableContrast)
                << where << ": \"" << shown.text.toStdString() << "\" in " << shown.color.name().toStdString() << " on "
                << background.name().toStdString();
        }
    }
    EXPECT_GE(checked, leastChecked) << where << ": too little text shown to judge";
}

/// The tokens of the pattern used below (the fragments with a colour behind them) stand
/// apart: between two of them lies a strip of another colour than either.
void expectTokensApart(const QImage& image, const std::vector<ShownText>& texts, const std::string& where)
{
    std::vector<QRect> tokens;
    for (const auto& shown : texts) {
        if (!shown.hasBackground)
            continue;
        QString word = shown.text;
        word.remove(QChar(0x202F));
        if (word == QLatin1String("sequence") || word == QLatin1String("last") || word == QLatin1String("more")
            || word == QLatin1String("close"))
            tokens.push_back(shown.lines.front());
        else if (word.contains(QLatin1String("sequence")) || word.contains(QLatin1String("close")))
            ADD_FAILURE() << where << ": tokens run together as \"" << word.toStdString() << "\"";
    }
    ASSERT_EQ(tokens.size(), 4u) << where;
    for (std::size_t i = 1; i < tokens.size(); ++i) {
        const QRect& before = tokens[i - 1];
        const QRect& after = tokens[i];
        ASSERT_EQ(before.top(), after.top()) << where << ": on one line";
        EXPECT_GE(after.left() - before.right(), 2) << where << ": token " << i << " touches the one before";
        // Above the letters, where only the tokens' colours are.
        const int y = before.top() + 1;
        const QRgb gap = image.pixel((before.right() + after.left()) / 2, y);
        EXPECT_NE(gap, image.pixel(before.right() - 2, y)) << where << ": token " << i;
        EXPECT_NE(gap, image.pixel(after.left() + 2, y)) << where << ": token " << i;
    }
}

class PageColorsTest : public test::LibraryFixture, public ::testing::WithParamInterface<PaletteCase> {
protected:
    void SetUp() override
    {
        LibraryFixture::SetUp();
        m_savedPalette = QApplication::palette();
        QApplication::setPalette(paletteOf(GetParam()));
        const CustomExpanderPtr documented = expander(0, 0);
        documented->setPattern(u"${kind:enum(struct,class)} ${sequence:text}${last:word}|${more:text}${close:word}|");
        documented->setExpanderDescription(u"Makes a **sequence** of *items*.\n"
                                           u"* the first bullet\n* the second bullet\n"
                                           u"Write `kind` first, see [twitter] @quillet for more.\n"
                                           u"    let x = 1\n    x += 1\n"
                                           u"> struct a b\n");
    }
    void TearDown() override
    {
        QApplication::setPalette(m_savedPalette);
        LibraryFixture::TearDown();
    }

    std::string where(const char* view) const { return std::string(GetParam().name) + " " + view; }

    QPalette m_savedPalette;
};

TEST_P(PageColorsTest, TheBrowsersRowsAreReadableAndShowTokensApart)
{
    ExpanderBrowserWindowController browser([this] { return store().enabledExpanders(); });
    browser.showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(browser.window()));
    ExpanderTableView* list = browser.contentViewController()->tableView();
    ASSERT_EQ(list->model()->rowCount(), 4);
    list->selectRow(0); // text on the selection is checked too
    const QImage image = screenImage(browser.window(), list->palette().color(QPalette::Base));
    const auto* cell = qobject_cast<ExpanderBrowserCell*>(list->itemDelegate());
    ASSERT_TRUE(cell);

    for (int row = 0; row < list->model()->rowCount(); ++row) {
        const QModelIndex index = list->model()->index(row, 0);
        const QRect rect = list->visualRect(index);
        const QTextDocument* page = cell->rowDocument(index, list->palette(), rect.width());
        const auto texts = shownTexts(
            *page, list->palette().color(QPalette::Text), list->viewport()->mapTo(browser.window(), rect.topLeft()));
        expectReadable(image, texts, where("browser row ") + std::to_string(row), GetParam().keepsLightLook, 1);
        if (row == 0)
            expectTokensApart(image, texts, where("browser"));
    }
}

TEST_P(PageColorsTest, TheDocumentationPageIsReadableWithItsBulletsAndShowsTokensApart)
{
    DocsViewController pane(store());
    pane.resize(700, 1000);
    QSignalSpy shown(&pane, &DocsViewController::pageShown);
    pane.show();
    pane.setBundleListElement(BundleListElement(expander(0, 0)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.count() > 0 && !pane.isLoading(); }, 10000));
    QWidget* viewport = pane.browser()->viewport();
    const QImage image = viewport->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QTextDocument& document = *pane.browser()->document();
    const auto texts = shownTexts(document, viewport->palette().color(QPalette::Text), {});
    expectReadable(image, texts, where("documentation"), GetParam().keepsLightLook, 10);
    expectTokensApart(image, texts, where("documentation"));

    // The bullets of the description's list and of the enumeration's cases.
    int bullets = 0;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (!block.textList() || block.layout()->lineCount() == 0)
            continue;
        const QTextLine line = block.layout()->lineAt(0);
        const QPointF origin = document.documentLayout()->blockBoundingRect(block).topLeft();
        const int textLeft = int(origin.x() + line.x());
        const int height = int(line.height());
        const QRect bulletArea(textLeft - 2 * height, int(origin.y() + line.y()), 2 * height - 1, height);
        ++bullets;
        EXPECT_GE(strongestContrastIn(image, bulletArea), readableContrast)
            << where("documentation") << ": the bullet of \"" << block.text().toStdString() << "\"";
    }
    EXPECT_EQ(bullets, 4);

    // The desktop switches between light and dark while the page is shown.
    const PaletteCase& other = paletteCases[GetParam().keepsLightLook ? 1 : 0];
    QApplication::setPalette(paletteOf(other));
    const QColor page = other.keepsLightLook ? QColor(Qt::white) : other.base;
    const QPoint empty(viewport->width() - 5, viewport->height() - 5);
    EXPECT_TRUE(QTest::qWaitFor([&] { return viewport->grab().toImage().pixelColor(empty) == page; }, 2000))
        << where("documentation") << " then " << other.name;
}

INSTANTIATE_TEST_SUITE_P(Palettes, PageColorsTest, ::testing::ValuesIn(paletteCases),
    [](const auto& info) { return std::string(info.param.name); });

struct StyleCase {
    const char* name;
    QColor background, text;
    bool dark;
};

TEST(PageStyleTest, ALightPaletteKeepsTheSheetAndADarkOneMakesEveryTextReadable)
{
    const QString sheet = QStringLiteral("body { color: #444444; background-color: #ffffff; }\n"
                                         "div.title { color: #999; }\n"
                                         "span.variable { color: #ffffff; background-color: #52C0FF; }\n"
                                         "a { color: #3B9AFB; border-color: #123456; }");
    const StyleCase cases[] = {
        { "White", Qt::white, Qt::black, false },
        { "LightGrey", QColor(0xef, 0xef, 0xef), QColor(0x20, 0x20, 0x20), false },
        { "Darker", QColor(0x3d, 0x3d, 0x3d), Qt::white, true },
        { "AdwaitaDark", QColor(0x2d, 0x2d, 0x2d), QColor(0xee, 0xee, 0xec), true },
        { "DimText", QColor(0x10, 0x10, 0x10), QColor(0x50, 0x50, 0x50), true }, // a palette too faint itself
    };
    for (const auto& c : cases) {
        const PageStyle style(c.background, c.text);
        EXPECT_EQ(style.isDark(), c.dark) << c.name;
        const QString made = style.styleSheet(sheet);
        if (!c.dark) {
            EXPECT_EQ(made, sheet) << c.name;
            continue;
        }
        // Read back the colours the dark sheet declares.
        const QRegularExpression declaration(QStringLiteral(R"((?<![\w-])(background-color|color)\s*:\s*(#\w+))"));
        std::vector<QColor> backgrounds, texts;
        for (auto it = declaration.globalMatch(made); it.hasNext();) {
            const auto match = it.next();
            (match.captured(1) == QLatin1String("color") ? texts : backgrounds).push_back(QColor(match.captured(2)));
        }
        ASSERT_EQ(backgrounds.size(), 2u) << c.name;
        ASSERT_EQ(texts.size(), 4u) << c.name;
        EXPECT_EQ(backgrounds[0], c.background) << c.name << ": the page is the palette's";
        EXPECT_GT(contrastRatio(backgrounds[1], c.background), 1.5) << c.name << ": the token stands out";
        for (const QColor& text : texts)
            for (const QColor& background : backgrounds)
                EXPECT_GE(contrastRatio(text, background), readableContrast)
                    << c.name << ": " << text.name().toStdString() << " on " << background.name().toStdString();
        EXPECT_TRUE(made.contains(QLatin1String("border-color: #123456"))) << c.name << ": only colours of text";
    }
}

} // namespace
} // namespace quillet
