#include "editor/VariableCell.h"

#include "OrvTextView/Attachments/TextAttachment.h"
#include "OrvTextView/Misc/QtColor.h"

#include <QImage>
#include <QPainter>
#include <QWidget>

#include <gtest/gtest.h>

#include <map>

namespace quillet {
namespace {

/// A view that draws one token, as the editors' text views do.
class TokenView final : public QWidget {
public:
    explicit TokenView(const VariableCell& cell)
        : m_cell(cell)
    {
        resize(120, 40);
    }

    QRectF tokenRect() const { return { 10, 10, m_cell.cellWidth(), m_cell.cellHeight() }; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Base));
        m_cell.draw(painter, tokenRect(), m_attachment);
    }

private:
    const VariableCell& m_cell;
    orv::TextContainingTextAttachment m_attachment { QStringLiteral("${sequence:text}") };
};

struct TokenCase {
    const char* name;
    QColor base, text;
    QColor fill; // the token's colour as the editors set it
    bool dark;
};

TEST(VariableCellTest, TokensKeepTheirColoursOnALightEditorAndReadOnADarkOne)
{
    const TokenCase cases[] = {
        { "LightBlue", Qt::white, Qt::black, QColor(0x52, 0xC0, 0xFF), false },
        { "LightGrey", Qt::white, Qt::black, QColor(0xbb, 0xbb, 0xbb), false },
        { "DarkerSchemeBlue", QColor(0x3d, 0x3d, 0x3d), Qt::white, QColor(0x52, 0xC0, 0xFF), true },
        { "AdwaitaDarkGrey", QColor(0x2d, 0x2d, 0x2d), QColor(0xee, 0xee, 0xec), QColor(0xbb, 0xbb, 0xbb), true },
    };
    for (const auto& c : cases) {
        VariableCell cell(QStringLiteral("sequence"));
        cell.setBackgroundColor(c.fill);
        TokenView view(cell);
        QPalette palette = view.palette();
        palette.setColor(QPalette::Base, c.base);
        palette.setColor(QPalette::Text, c.text);
        view.setPalette(palette);
        const QImage image = view.grab().toImage().convertToFormat(QImage::Format_RGB32);

        // The token's fill is its most common colour; the label is what stands out most on it.
        const QRect token = view.tokenRect().toAlignedRect().adjusted(2, 2, -2, -2);
        std::map<QRgb, int> counts;
        for (int y = token.top(); y <= token.bottom(); ++y)
            for (int x = token.left(); x <= token.right(); ++x)
                ++counts[image.pixel(x, y)];
        const auto fill = std::max_element(
            counts.begin(), counts.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
        const QColor shownFill = QColor::fromRgb(fill->first);
        double label = 1;
        for (const auto& [rgb, count] : counts)
            label = std::max(label, orv::contrastRatio(QColor::fromRgb(rgb), shownFill));

        if (!c.dark) {
            EXPECT_EQ(shownFill, c.fill) << c.name;
            continue;
        }
        EXPECT_GE(label, 4.5) << c.name << ": the label on " << shownFill.name().toStdString();
        EXPECT_GE(orv::contrastRatio(shownFill, c.base), 1.5) << c.name << ": the token stands out";
    }
}

} // namespace
} // namespace quillet
