#include "editor/QLMDTextView.h"
#include "support/ShownFormat.h"

#include <QTextBlock>
#include <QTextLayout>

#include <gtest/gtest.h>

namespace quillet {
namespace {

using test::shownFormat;

TEST(QLMDTextViewTest, HighlightsTheMarkupOfDescriptionsAsTyped)
{
    struct Case {
        const char* text;
        int position;
        bool example, bold, italic;
    };
    const Case cases[] = {
        { "> for x in y", 4, true, false, false },
        { "Text\n> for x in y", 9, true, false, false },
        { ">for x in y", 4, false, false, false }, // no blank after ">"
        { "a **strong** b", 5, false, true, false },
        { "**strong** at the start", 4, false, false, false }, // needs a character before
        { "a ***both*** b", 6, false, true, true },
        { "a *slanted* b", 5, false, false, true },
        { "plain words", 3, false, false, false },
    };
    const QColor exampleColor(0x52, 0xC0, 0xFF);
    QLMDTextView view;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        view.setPlainText(QString::fromUtf8(c.text));
        const QTextCharFormat shown = shownFormat(view, c.position);
        EXPECT_EQ(shown.foreground().color() == exampleColor, c.example);
        EXPECT_EQ(shown.font().bold() || shown.fontWeight() >= QFont::Bold, c.bold);
        EXPECT_EQ(shown.font().italic() || shown.fontItalic(), c.italic);
    }
}

} // namespace
} // namespace quillet
