#include "OrvTextView/CustomHighlightingPattern.h"
#include "OrvTextView/Highlighting/TextFormatAttributes.h"
#include "OrvTextView/MarkdownTextView/MarkdownTextView.h"
#include "OrvTextView/Misc/QtColor.h"
#include "OrvTextView/OrvTextView.h"
#include "support/ShownFormat.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

using namespace orv;

namespace {

using quillet::test::shownFormat;

TextFormatPtr format(std::optional<Color> color, bool bold = false, bool italic = false)
{
    auto result = std::make_shared<TextFormat>();
    result->color = color;
    result->isBold = bold;
    result->isItalic = italic;
    return result;
}

const Color red { .red = 1, .green = 0, .blue = 0, .alpha = 1 };
const Color blue { .red = 0, .green = 0, .blue = 1, .alpha = 1 };

// A pattern that counts the passes that read its format.
class CountingPattern : public HighlightingPattern {
public:
    std::u16string pattern() const override { return u"x"; }
    TextFormatPtr format() const override
    {
        ++reads;
        return std::make_shared<TextFormat>();
    }
    mutable int reads = 0;
};

} // namespace

class TextViewHighlightingTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void aLaterPatternWinsPerAttributeWhileTheEarlierColourStays()
    {
        OrvTextView view;
        view.setBasicTextColor(Qt::darkGreen);
        view.setPlainText("xx abc yy ABC");
        view.addHighlightingPattern(std::make_shared<CustomHighlightingPattern>(u"abc", format(red, true)));
        view.addHighlightingPattern(
            std::make_shared<CustomHighlightingPattern>(u"b", format(std::nullopt, false, true)));

        const auto a = shownFormat(view, 3);
        QCOMPARE(a.foreground().color(), toQColor(red));
        QVERIFY(a.font().bold());
        const auto b = shownFormat(view, 4);
        QCOMPARE(b.foreground().color(), toQColor(red)); // the later pattern sets no colour
        QVERIFY(b.font().italic());
        QVERIFY(!b.font().bold()); // every format sets the font: the later face wins
        QCOMPARE(shownFormat(view, 0).foreground().color(), QColor(Qt::darkGreen));
        QVERIFY(!shownFormat(view, 0).font().bold());
        QVERIFY(shownFormat(view, 10).font().bold()); // case-insensitive

        view.clearHighlightingPattern();
        QCOMPARE(shownFormat(view, 3).foreground().color(), QColor(Qt::darkGreen));
        QVERIFY(!shownFormat(view, 3).font().bold());
    }

    void patternColoursHardToReadOnADarkPaletteAreLiftedAndALightPaletteKeepsThem()
    {
        const Color accent { .red = 0x3B / 255.0, .green = 0x9A / 255.0, .blue = 0xFB / 255.0, .alpha = 1 };
        struct Case {
            const char* name;
            QColor base, text;
            bool keepsColour;
        };
        const Case cases[] = {
            { "light", Qt::white, Qt::black, true },
            { "darker scheme", QColor(0x3d, 0x3d, 0x3d), Qt::white, false },
            { "adwaita dark", QColor(0x2d, 0x2d, 0x2d), QColor(0xee, 0xee, 0xec), false },
        };
        for (const auto& c : cases) {
            OrvTextView view;
            QPalette palette = view.palette();
            palette.setColor(QPalette::Base, c.base);
            palette.setColor(QPalette::Text, c.text);
            view.setPalette(palette);
            view.setPlainText("a ${name} b");
            auto onChip = format(accent);
            onChip->backgroundColor = Color { .red = 0.3, .green = 0.3, .blue = 0.3, .alpha = 1 };
            view.addHighlightingPattern(std::make_shared<CustomHighlightingPattern>(u"\\$\\{name\\}", format(accent)));
            view.addHighlightingPattern(std::make_shared<CustomHighlightingPattern>(u"b", onChip));
            const QColor shown = shownFormat(view, 3).foreground().color();
            const QColor onBackground = shownFormat(view, 10).foreground().color();
            if (c.keepsColour) {
                QCOMPARE(shown, toQColor(accent));
                QCOMPARE(onBackground, toQColor(accent));
                continue;
            }
            // Aimed at 5:1 on a dark ground, and lifted no further than needed.
            QVERIFY2(contrastRatio(shown, c.base) >= 5, c.name);
            QVERIFY2(contrastRatio(shown, c.base) < 5.5, c.name);
            QVERIFY2(contrastRatio(onBackground, QColor::fromRgbF(0.3f, 0.3f, 0.3f)) >= 5, c.name);
            QVERIFY2(shown.blue() > shown.red(), c.name); // still the accent's hue
            QCOMPARE(shownFormat(view, 0).foreground().color(), c.text);
        }
    }

    void aChangedFormatObjectShowsAtTheNextPass()
    {
        OrvTextView view;
        view.setPlainText("abc");
        auto shared = format(red);
        view.addHighlightingPattern(std::make_shared<CustomHighlightingPattern>(u"b", shared));
        shared->color = blue;
        QCOMPARE(shownFormat(view, 1).foreground().color(), toQColor(red));
        view.updateColors();
        QCOMPARE(shownFormat(view, 1).foreground().color(), toQColor(blue));
    }

    void highlightingKeepsUndoCaretAndSelectionAndRunsOncePerEdit()
    {
        OrvTextView view;
        auto counting = std::make_shared<CountingPattern>();
        view.addHighlightingPattern(counting);
        view.addHighlightingPattern(std::make_shared<CustomHighlightingPattern>(u"^a.*$", format(red, true)));
        view.show();
        QTest::keyClicks(&view, "ax");
        QCOMPARE(view.toPlainText(), QString("ax"));
        QCOMPARE(shownFormat(view, 0).foreground().color(), toQColor(red));
        const int undoSteps = view.document()->availableUndoSteps();

        QTextCursor selection = view.textCursor();
        selection.setPosition(0);
        selection.setPosition(1, QTextCursor::KeepAnchor);
        view.setTextCursor(selection);
        const int readsBefore = counting->reads;
        view.updateColors();
        QCOMPARE(counting->reads, readsBefore + 1); // one pass, no nested pass from its own changes
        QCOMPARE(view.document()->availableUndoSteps(), undoSteps);
        QCOMPARE(view.textCursor().anchor(), 0);
        QCOMPARE(view.textCursor().position(), 1);

        view.moveCursor(QTextCursor::End);
        const int readsBeforeKey = counting->reads;
        QTest::keyClick(&view, Qt::Key_Y);
        QCOMPARE(counting->reads, readsBeforeKey + 1);

        while (view.document()->isUndoAvailable())
            view.undo();
        QCOMPARE(view.toPlainText(), QString());
    }

    void aRightPaddingIsAMarginFromTheRightEdge()
    {
        OrvTextView view;
        view.resize(500, 300);
        view.show();
        auto padded = std::make_shared<TextFormat>();
        padded->leftPadding = FontSize::points(10);
        padded->rightPadding = FontSize::points(40);
        view.setPlainText(QString("word ").repeated(200));
        view.addHighlightingPattern(std::make_shared<CustomHighlightingPattern>(u"^.+$", padded));

        const QTextBlock block = view.document()->firstBlock();
        QCOMPARE(block.blockFormat().rightMargin(), 40.0);
        QCOMPARE(block.blockFormat().leftMargin(), 10.0);
        view.document()->documentLayout()->blockBoundingRect(block); // lays the block out
        const qreal available = view.document()->textWidth() - 2 * view.document()->documentMargin();
        QVERIFY(block.layout()->lineCount() > 1);
        QCOMPARE(qRound(block.layout()->lineAt(0).width()), qRound(available - 50));
    }

    void paddingsAreMeasuredInTheFormatsFont_data()
    {
        QTest::addColumn<double>("measured");
        QTest::addColumn<double>("expected");
        QFont font("DejaVu Sans");
        font.setPointSizeF(12);
        QFont bold = font;
        bold.setBold(true);
        QTest::newRow("relative") << fontSize(FontSize::relative(1.5f), font) << 18.0;
        QTest::newRow("points") << fontSize(FontSize::points(4), font) << 4.0;
        QTest::newRow("characters") << fontSize(FontSize::characters(2), font)
                                    << 2 * QFontMetricsF(font).horizontalAdvance(u'a');
        TextFormat boldList;
        boldList.isBold = true;
        boldList.leftPadding = FontSize::characters(2);
        boldList.firstLineLeftPadding = FontSize::points(0);
        const auto spacing = paragraphStyle(boldList, font);
        QTest::newRow("bold head indent")
            << spacing->headIndent.value_or(-1) << 2 * QFontMetricsF(bold).horizontalAdvance(u'a');
        QTest::newRow("first line flush") << spacing->firstLineHeadIndent.value_or(-1) << 0.0;
    }
    void paddingsAreMeasuredInTheFormatsFont()
    {
        QFETCH(double, measured);
        QFETCH(double, expected);
        QCOMPARE(measured, expected);
    }

    void theMarkdownListIndentFollowsUndoAndRedo()
    {
        MarkdownTextView view;
        view.show();
        QTest::keyClicks(&view, "- item");
        const QTextBlock block = view.document()->firstBlock();
        const double widthOfA = QFontMetricsF(view.basicFont()).horizontalAdvance(u'a');
        QCOMPARE(block.blockFormat().leftMargin(), 2 * widthOfA);
        QCOMPARE(block.blockFormat().textIndent(), -2 * widthOfA);

        while (view.document()->isUndoAvailable())
            view.undo();
        QCOMPARE(view.toPlainText(), QString());
        QCOMPARE(view.document()->firstBlock().blockFormat().leftMargin(), 0.0);
        while (view.document()->isRedoAvailable())
            view.redo();
        QCOMPARE(view.toPlainText(), QString("- item"));
        QCOMPARE(view.document()->firstBlock().blockFormat().leftMargin(), 2 * widthOfA);

        // Cutting everything through the standard menu's action leaves no indent behind, in
        // the same step to undo.
        view.selectAll();
        view.cut();
        QCOMPARE(view.toPlainText(), QString());
        QCOMPARE(view.document()->firstBlock().blockFormat().leftMargin(), 0.0);
        view.undo();
        QCOMPARE(view.toPlainText(), QString("- item"));
        QCOMPARE(view.document()->firstBlock().blockFormat().leftMargin(), 2 * widthOfA);

        // Deleting everything leaves no indent behind.
        view.selectAll();
        QTest::keyClick(&view, Qt::Key_Delete);
        QCOMPARE(view.toPlainText(), QString());
        QCOMPARE(view.document()->firstBlock().blockFormat().leftMargin(), 0.0);
    }

    void newTextGetsItsParagraphLayoutsWithoutHistory()
    {
        MarkdownTextView view;
        AttributedString text;
        text.text = "- item";
        view.setAttributedText(text);
        QVERIFY(view.document()->firstBlock().blockFormat().leftMargin() > 0);
        QVERIFY(!view.document()->isUndoAvailable());
        view.setPlainText("x\n- other");
        QVERIFY(view.document()->lastBlock().blockFormat().leftMargin() > 0);
        QVERIFY(!view.document()->isUndoAvailable());
    }

    void thePlaceholderShowsOnlyWhileEmptyEditableAndUnfocused()
    {
        QWidget window;
        auto* view = new OrvTextView(&window);
        auto* other = new QLineEdit(&window);
        other->move(0, 220);
        view->resize(300, 200);
        auto* label = new OrvPlaceholderLabel("Describe the expander");
        view->setPlaceholderLabel(label);
        QCOMPARE(label->font(), view->basicFont());
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        other->setFocus();
        QTRY_VERIFY(label->isVisible());
        QVERIFY(label->testAttribute(Qt::WA_TransparentForMouseEvents));

        view->setFocus();
        QTRY_VERIFY(view->isFirstResponder());
        QTRY_VERIFY(label->isHidden());
        other->setFocus();
        QTRY_VERIFY(!view->isFirstResponder());
        QTRY_VERIFY(label->isVisible());
        view->setPlainText("text");
        QTRY_VERIFY(label->isHidden());
        view->clear();
        QTRY_VERIFY(label->isVisible());
        view->setEditable(false);
        QTRY_VERIFY(label->isHidden());

        QFont larger = view->basicFont();
        larger.setPointSize(larger.pointSize() + 4);
        view->setBasicFont(larger);
        QCOMPARE(label->font(), larger);
    }

    void theMarkdownPatternsApplyInTheirOrder_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("part");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<bool>("italic");
        QTest::addColumn<bool>("gray");
        QTest::newRow("bold") << "a **b** c"
                              << "b" << true << false << false;
        QTest::newRow("bold at the start stays plain") << "**b** c"
                                                       << "b" << false << false << false;
        QTest::newRow("bold italic") << "a ***b*** c"
                                     << "b" << true << true << false;
        QTest::newRow("italic") << "a *b* c"
                                << "b" << false << true << false;
        QTest::newRow("italic at a line start stays plain") << "x\n*b* c"
                                                            << "b" << false << false << false;
        QTest::newRow("bold at a later line start") << "x\n**b** c"
                                                    << "b" << true << false << false;
        QTest::newRow("code is gray in the plain face inside bold") << "a **x `c` y** z"
                                                                    << "c" << false << false << true;
        QTest::newRow("code at a line start") << "`c` x"
                                              << "c" << false << false << true;
        QTest::newRow("header wins over italic") << "# a *b*"
                                                 << "b" << true << false << false;
        QTest::newRow("header mid-line") << "x # head"
                                         << "head" << true << false << false;
        QTest::newRow("quote") << "> said"
                               << "said" << false << true << true;
        QTest::newRow("code block over lines") << "```\nint a;\n```"
                                               << "int" << false << false << true;
        QTest::newRow("numbered lines stay plain") << "12. item"
                                                   << "item" << false << false << false;
    }
    void theMarkdownPatternsApplyInTheirOrder()
    {
        QFETCH(QString, text);
        QFETCH(QString, part);
        QFETCH(bool, bold);
        QFETCH(bool, italic);
        QFETCH(bool, gray);
        MarkdownTextView view;
        view.setPlainText(text);
        const int position = int(text.indexOf(part));
        const auto shown = shownFormat(view, position);
        QCOMPARE(shown.font().bold(), bold);
        QCOMPARE(shown.font().italic(), italic);
        QCOMPARE(shown.foreground().color() == QColor::fromRgbF(0.5, 0.5, 0.5), gray);
    }

    void formatAttributesHoldOnlyWhatIsSet()
    {
        const QFont font("DejaVu Sans", 12);
        TextFormat plain;
        const auto attributes = orv::attributes(plain, font);
        QVERIFY(!attributes.charFormat.hasProperty(QTextFormat::ForegroundBrush));
        QVERIFY(!attributes.charFormat.hasProperty(QTextFormat::BackgroundBrush));
        QVERIFY(!attributes.paragraph);
        TextFormat tailOnly;
        tailOnly.bottomPadding = FontSize::points(3);
        tailOnly.rightPadding = FontSize::points(3);
        QVERIFY(!orv::attributes(tailOnly, font).paragraph);
        QCOMPARE(colorFromRgb(" #ff8000\n"), std::optional<QColor>(QColor::fromRgbF(1, 128 / 255.0f, 0)));
        QVERIFY(!colorFromRgb("ff8000"));
        QVERIFY(!colorFromRgb("#ff80001"));
        QCOMPARE(colorFromRgb("#GGGGGG"), std::optional<QColor>(QColor(Qt::black)));
    }
};

QTEST_MAIN(TextViewHighlightingTest)
#include "TextViewHighlightingTest.moc"
