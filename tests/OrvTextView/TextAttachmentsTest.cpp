#include "OrvTextView/Attachments/TextAttachmentBuilder.h"
#include "OrvTextView/Attachments/TextAttachmentReplacer.h"
#include "OrvTextView/Attachments/TextAttachmentTransformer.h"
#include "OrvTextView/OrvTextView.h"

#include "TestTokens.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

using namespace orv;

namespace {

QString reverse(const AttributedString& string)
{
    return TextAttachmentTransformer::reverseTransformedValue(string);
}

QStringList tokenTexts(const AttributedString& string)
{
    QStringList texts;
    for (const auto& [position, attachment] : string.attachments) {
        if (auto token = std::dynamic_pointer_cast<TextContainingTextAttachment>(attachment))
            texts.append(token->text());
    }
    return texts;
}

// Two adjacent equal tokens and non-ASCII text around them.
const QString sample = QString::fromUtf16(u"f\u00FCr ${a}${a} = ${name} \U0001F600");

} // namespace

class TextAttachmentsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void tokensSurviveEveryRoundTrip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << "no tokens here";
        QTest::newRow("adjacent equal tokens") << "${a}${a}";
        QTest::newRow("mixed") << sample;
        QTest::newRow("token at the end") << "x ${y}";
        QTest::newRow("unclosed") << "${a} ${b";
        // Characters a document turns into other ones: each must come back as it went in.
        QTest::newRow("CR LF before tokens") << QString::fromUtf16(u"for (${n}) {\r\n\t#\r\n}\r\n// ${n} times");
        QTest::newRow("lone CR") << QString::fromUtf16(u"one\r${a}\rtwo");
        QTest::newRow("no-break spaces") << QString::fromUtf16(u"a\u00A0${a}\u00A0b");
        QTest::newRow("line and paragraph separators") << QString::fromUtf16(u"a\u2028${a}\u2029${b}\u2029");
        QTest::newRow("tabs, emoji and a line feed") << QString::fromUtf16(u"\t${a}\t\U0001F44D\U0001F3FD\n${b}");
    }
    void tokensSurviveEveryRoundTrip()
    {
        QFETCH(QString, text);
        OrvTextView view;
        auto tokens = std::make_shared<test::VariableTokens>();
        view.addTextAttachmentPattern(tokens);
        const TextAttachmentTransformer transformer(&view);

        // Builder (forward transformation), then backward.
        const AttributedString forward = transformer.transformedValue(QVariant(text));
        QCOMPARE(reverse(forward), text);
        QCOMPARE(forward.text.count(QChar(attachmentCharacter)),
            text.count("${") - text.count(QRegularExpression("\\$\\{[^}]*$")));

        // Into the view's document and out again, reading each attachment character.
        view.setAttributedText(forward);
        QCOMPARE(reverse(view.attributedText()), text);
        QCOMPARE(view.string(), text);
        QCOMPARE(tokenTexts(view.attributedText()), tokenTexts(forward));

        // Updater: re-made tokens keep their texts and take the new cells, and new text
        // stays without a step to undo.
        tokens->cellColor = Qt::red;
        view.updateAttachments();
        QCOMPARE(reverse(view.attributedText()), text);
        QVERIFY(!view.document()->isUndoAvailable());
        for (const auto& [position, attachment] : view.attributedText().attachments)
            QCOMPARE(attachment->cell()->backgroundColor(), QColor(Qt::red));

        // A new font reaches every token.
        QFont font = view.basicFont();
        font.setPointSize(font.pointSize() + 7);
        view.setBasicFont(font);
        for (const auto& [position, attachment] : view.attributedText().attachments)
            QCOMPARE(attachment->cell()->font().pointSize(), font.pointSize());

        // One typed character at each end adds exactly that character.
        view.moveCursor(QTextCursor::End);
        QTest::keyClick(&view, 'Z');
        view.moveCursor(QTextCursor::Start);
        QTest::keyClick(&view, 'Q');
        QCOMPARE(view.string(), "Q" + text + "Z");
        view.undo();
        view.undo();
        QCOMPARE(view.string(), text);

        // Replacer: the same text inserted as a plain string becomes the same tokens.
        OrvTextView typed;
        typed.addTextAttachmentPattern(tokens);
        typed.insertAtCurrentSelection(text);
        QCOMPARE(reverse(typed.attributedText()), text);
        QCOMPARE(tokenTexts(typed.attributedText()), tokenTexts(forward));

        // Copy gives the plain text with each token's text.
        typed.selectAll();
        typed.copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), text);
    }

    void theBuilderReplacesEarlierPatternsFirstAndMovesThePosition()
    {
        auto braces = std::make_shared<test::VariableTokens>("\\{\\w+\\}");
        auto brackets = std::make_shared<test::VariableTokens>("\\[\\w+\\]");
        TextAttachmentBuilder builder("[xx] {abc} [y] {de}");
        const auto result = builder.attributedString({ brackets, braces }, QFont(), 0);
        QCOMPARE(result.cursorPosition, -(4 + 5 + 3 + 4));
        QCOMPARE(tokenTexts(result.attributedString), QStringList({ "[xx]", "{abc}", "[y]", "{de}" }));
        // All of the first pattern's tokens were made before any of the second's.
        QCOMPARE(brackets->made, 2);
        QCOMPARE(braces->made, 2);

        TextAttachmentBuilder none("abc");
        const auto unchanged = none.attributedString({}, QFont(), 7);
        QCOMPARE(unchanged.attributedString.text, QString("abc"));
        QVERIFY(unchanged.attributedString.attachments.empty());
        QCOMPARE(unchanged.cursorPosition, 7);
    }

    void expressionsThatMatchNothingOrTheAttachmentCharacterDoNotLoop_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<int>("tokens");
        QTest::newRow("empty matches") << "x*" << 2;
        QTest::newRow("any character") << "." << 5;
        QTest::newRow("around an attachment") << "a.?" << 1;
    }
    void expressionsThatMatchNothingOrTheAttachmentCharacterDoNotLoop()
    {
        QFETCH(QString, expression);
        QFETCH(int, tokens);
        auto pattern = std::make_shared<test::VariableTokens>(expression);
        TextAttachmentBuilder builder("ax bx");
        const auto built = builder.attributedString({ pattern }, QFont(), 0);
        QCOMPARE(int(built.attributedString.attachments.size()), tokens);
        QCOMPARE(reverse(built.attributedString), QString("ax bx"));

        QTextDocument document;
        const auto made = TextAttachmentReplacer(&document, "ax bx", { 0, 0 }).replace({ pattern }, QFont());
        QCOMPARE(int(made.size()), tokens);
        QCOMPARE(reverse(AttributedString::fromDocument(document)), QString("ax bx"));
    }

    void theReplacerTurnsTokensElsewhereIntoAttachmentsAsOneUndoStep()
    {
        QTextDocument document;
        QTextCursor(&document).insertText("${old} and ");
        auto tokens = std::make_shared<test::VariableTokens>();
        const auto made = TextAttachmentReplacer(&document, "${new}", { 11, 0 }).replace({ tokens }, QFont());
        QCOMPARE(made.size(), std::size_t(2));
        QCOMPARE(document.toPlainText(), QString("\uFFFC and \uFFFC"));
        document.undo();
        QCOMPARE(document.toPlainText(), QString("${old} and "));

        QPointer<QTextDocument> gone = new QTextDocument;
        TextAttachmentReplacer late(gone, "${x}", { 0, 0 });
        delete gone.data();
        QVERIFY(late.replace({ tokens }, QFont()).empty());
    }

    void theUpdaterLeavesOtherAttachmentsAlone()
    {
        QTextDocument document;
        QTextCursor cursor(&document);
        auto image = std::make_shared<TextAttachment>(QByteArray("png"), "public.png");
        cursor.insertText(QString(QChar(attachmentCharacter)), attachmentFormat(image));
        auto tokens = std::make_shared<test::VariableTokens>();
        TextAttachmentUpdater(&document).update({ tokens }, QFont());
        QCOMPARE(AttributedString::fromDocument(document).attachmentAt(0), TextAttachmentPtr(image));
        QCOMPARE(tokens->made, 0);
    }

    void theTransformerDegradesToTheEmptyText()
    {
        auto* view = new OrvTextView;
        view->addTextAttachmentPattern(std::make_shared<test::VariableTokens>());
        TextAttachmentTransformer transformer(view);
        QCOMPARE(transformer.transformedValue(QVariant(42)).text, QString());
        QCOMPARE(transformer.transformedValue(QVariant()).text, QString());
        QCOMPARE(transformer.reverseTransformedValue(QVariant("plain")), QString());
        QCOMPARE(transformer.transformedValue(QVariant("${a}")).attachments.size(), std::size_t(1));
        delete view;
        QCOMPARE(transformer.transformedValue(QVariant("${a}")).text, QString());

        // An attachment without token text disappears; a token keeps its text.
        AttributedString mixed;
        mixed.text = QString("a\uFFFCb\uFFFC");
        mixed.attachments[1] = std::make_shared<TextAttachment>(QByteArray("img"), "public.png");
        mixed.attachments[3] = std::make_shared<TextContainingTextAttachment>(QString("${t}"));
        QCOMPARE(reverse(mixed), QString("ab${t}"));
    }

    void aTokensTextIsItsUtf8Contents()
    {
        const QString text = QString::fromUtf16(u"\u00E9\u4E2D\U0001F600");
        TextContainingTextAttachment token(text);
        QCOMPARE(token.text(), text);
        QCOMPARE(token.fileType(), QString("com.orvanta.OrvTextView.TextAttachment"));
        TextContainingTextAttachment broken(QByteArray("\xff\xfe", 2), TextContainingTextAttachment::contentsType());
        QCOMPARE(broken.text(), QString());
    }
};

QTEST_MAIN(TextAttachmentsTest)
#include "TextAttachmentsTest.moc"
