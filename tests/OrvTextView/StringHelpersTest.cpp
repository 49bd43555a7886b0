#include "OrvTextView/Pattern/StringHelpers.h"

#include <QTest>

using namespace orv;

using Ranges = QList<QPair<int, int>>;

class StringHelpersTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void allMatchesFindsEveryWholeMatch_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("regex");
        QTest::addColumn<Ranges>("expected");
        QTest::newRow("empty regex") << "abc"
                                     << "" << Ranges {};
        QTest::newRow("empty text, needs a character") << ""
                                                       << "a" << Ranges {};
        QTest::newRow("empty text, empty match") << ""
                                                 << "a*" << Ranges { { 0, 0 } };
        QTest::newRow("case-insensitive") << "A a"
                                          << "a" << Ranges { { 0, 1 }, { 2, 1 } };
        QTest::newRow("anchors match lines") << "ab\nab"
                                             << "^ab$" << Ranges { { 0, 2 }, { 3, 2 } };
        QTest::newRow("invalid regex") << "abc"
                                       << "(" << Ranges {};
        QTest::newRow("ranges are UTF-16") << QString::fromUtf16(u"\U0001F600x") << "x" << Ranges { { 2, 1 } };
    }
    void allMatchesFindsEveryWholeMatch()
    {
        QFETCH(QString, text);
        QFETCH(QString, regex);
        QFETCH(Ranges, expected);
        Ranges actual;
        for (const auto& match : text::allFullMatchesRegExWithRange(text, regex))
            actual.append({ match.range.location, match.range.length });
        QCOMPARE(actual, expected);
    }

    void anAbsentGroupIsKeptAsAbsent()
    {
        const auto matches = text::allFullMatchesRegExWithRange("ac", "a(b)?(c)");
        QCOMPARE(matches.size(), std::size_t(1));
        QCOMPARE(matches[0].match.size(), std::size_t(3));
        QCOMPARE(matches[0].match[0], std::optional<QString>("ac"));
        QVERIFY(!matches[0].match[1].has_value());
        QCOMPARE(matches[0].match[2], std::optional<QString>("c"));
    }

    void linePositionsCountCharacters_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("lineStart"); // -1: none
        QTest::addColumn<QString>("lineBefore");
        QTest::addColumn<bool>("hasLineBefore");
        QTest::newRow("second line") << "ab\ncd" << 4 << 3 << "c" << true;
        QTest::newRow("end of text") << "ab\ncd" << 5 << -1 << "cd" << true;
        QTest::newRow("just after the break") << "ab\ncd" << 3 << 3 << "" << true;
        QTest::newRow("first line") << "ab\ncd" << 2 << 0 << "ab" << true;
        QTest::newRow("start") << "ab\ncd" << 0 << 0 << "" << false;
        QTest::newRow("past the end") << "ab\ncd" << 6 << -1 << "" << false;
        QTest::newRow("negative") << "ab" << -1 << -1 << "" << false;
        // An emoji with a skin tone is one character; CR LF is one character and no line feed.
        QTest::newRow("clusters") << QString::fromUtf16(u"\U0001F44D\U0001F3FDx") << 2 << -1
                                  << QString::fromUtf16(u"\U0001F44D\U0001F3FDx") << true;
        QTest::newRow("CR LF starts no line") << "a\r\nb" << 2 << 0 << "a\r\n" << true;
        QTest::newRow("CR LF is not a line feed") << "a\r\nb" << 3 << -1 << "a\r\nb" << true;
    }
    void linePositionsCountCharacters()
    {
        QFETCH(QString, text);
        QFETCH(int, index);
        QFETCH(int, lineStart);
        QFETCH(QString, lineBefore);
        QFETCH(bool, hasLineBefore);
        const auto start = text::firstIndexInLineAtIndex(text, index);
        QCOMPARE(start.value_or(-1), lineStart);
        const auto before = text::lineBeforeIndex(text, index);
        QCOMPARE(before.has_value(), hasLineBefore);
        if (hasLineBefore)
            QCOMPARE(*before, lineBefore);
    }

    void characterAtCountsGraphemeClusters()
    {
        const QString text = QString::fromUtf16(u"e\u0301x");
        QCOMPARE(text::characterAt(text, 0), std::optional<QString>(QString::fromUtf16(u"e\u0301")));
        QCOMPARE(text::characterAt(text, 1), std::optional<QString>("x"));
        QVERIFY(!text::characterAt(text, 2));
        QVERIFY(!text::characterAt(text, -1));
    }

    void helpersOnPlainText_data()
    {
        QTest::addColumn<QString>("actual");
        QTest::addColumn<QString>("expected");
        QTest::newRow("escape dot") << text::escapedForRegEx("a.b") << "a\\.b";
        QTest::newRow("escape backslash once") << text::escapedForRegEx("\\") << "\\\\";
        QTest::newRow("escape leaves - and /") << text::escapedForRegEx("a-/(") << "a-/\\(";
        QTest::newRow("later entries escape earlier backslashes") << text::escape("a.", { ".", "\\" }) << "a\\\\.";
        QTest::newRow("prefix removed") << text::withoutPrefix("abc", "ab") << "c";
        QTest::newRow("prefix elsewhere") << text::withoutPrefix("xabc", "ab") << "xabc";
        QTest::newRow("empty prefix") << text::withoutPrefix("abc", "") << "abc";
        QTest::newRow("indentation") << text::firstMatchRegEx("\t\tx y", "^[\\t\\ ]+", false).value_or("none")
                                     << "\t\t";
        QTest::newRow("no indentation") << text::firstMatchRegEx("x  y", "^[\\t\\ ]+", false).value_or("none")
                                        << "none";
    }
    void helpersOnPlainText()
    {
        QFETCH(QString, actual);
        QFETCH(QString, expected);
        QCOMPARE(actual, expected);
    }

    void matchesIsCaseSensitiveAndAcceptsTheEmptyExpression()
    {
        QVERIFY(text::matchesRegex("abc", ""));
        QVERIFY(text::matchesRegex("abc", "b"));
        QVERIFY(!text::matchesRegex("abc", "B"));
        QVERIFY(!text::matchesRegex("abc", "("));
        // "$" is the end of the text only, not of a line.
        QVERIFY(!text::matchesRegex("ab\ncd", "b$\\n"));
    }
};

QTEST_GUILESS_MAIN(StringHelpersTest)
#include "StringHelpersTest.moc"
