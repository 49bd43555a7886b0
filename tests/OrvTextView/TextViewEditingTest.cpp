#include "OrvTextView/Completion/Completion.h"
#include "OrvTextView/OrvTextView.h"

#include "TestTokens.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTest>

using namespace orv;

namespace {

QString plainText(const OrvTextView& view)
{
    return TextAttachmentTransformer::reverseTransformedValue(view.attributedText());
}

int attachmentCount(const OrvTextView& view)
{
    return int(view.attributedText().attachments.size());
}

} // namespace

class TextViewEditingTest : public QObject {
    Q_OBJECT
private:
    QWidget* m_window = nullptr;
    OrvTextView* m_view = nullptr;

private Q_SLOTS:
    void init()
    {
        m_window = new QWidget;
        m_view = new OrvTextView(m_window);
        m_view->resize(400, 200);
        m_window->resize(420, 220);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
        m_view->setFocus();
        QTRY_VERIFY(m_view->hasFocus());
    }
    void cleanup()
    {
        delete m_window;
        m_window = nullptr;
        QApplication::clipboard()->clear();
    }

    void returnKeepsTheIndentation_data()
    {
        QTest::addColumn<bool>("keep");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("caret");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        const Qt::KeyboardModifiers none;
        QTest::newRow("tabs and a space") << true << "\t\t x" << 4 << "\t\t x\n\t\t " << none;
        QTest::newRow("shift+return") << true << "\t\t x" << 4 << "\t\t x\n\t\t "
                                      << Qt::KeyboardModifiers(Qt::ShiftModifier);
        QTest::newRow("no leading blanks") << true << "x" << 1 << "x\n" << none;
        QTest::newRow("empty line") << true << "\t\n" << 2 << "\t\n\n" << none;
        QTest::newRow("off") << false << "\t\t x" << 4 << "\t\t x\n" << none;
        QTest::newRow("start of text") << true << "\tx" << 0 << "\n\tx" << none;
        QTest::newRow("middle of an indented line") << true << "  ab" << 3 << "  a\n  b" << none;
        // A kept CR LF ends a line inside the paragraph: the indentation is that line's.
        QTest::newRow("after a CR LF") << true << QString::fromUtf16(u"x\r\n\ty") << 5
                                       << QString::fromUtf16(u"x\r\n\ty\n\t") << none;
    }
    void returnKeepsTheIndentation()
    {
        QFETCH(bool, keep);
        QFETCH(QString, text);
        QFETCH(int, caret);
        QFETCH(QString, expected);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        m_view->setKeepIndention(keep);
        m_view->setString(text);
        QTextCursor cursor = m_view->textCursor();
        cursor.setPosition(caret - int(text.count(QStringLiteral("\r\n"))));
        m_view->setTextCursor(cursor);
        QTest::keyClick(m_view, Qt::Key_Return, modifiers);
        QCOMPARE(m_view->string(), expected);
        m_view->undo();
        QCOMPARE(m_view->string(), text);
    }

    void tabLeavesTheViewWhereItMustAndCtrlTabAlways_data()
    {
        QTest::addColumn<bool>("tabChangesFocus");
        QTest::addColumn<bool>("tokens");
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<bool>("leaves");
        const Qt::KeyboardModifiers none;
        const Qt::KeyboardModifiers control(Qt::ControlModifier);
        for (const bool tokens : { false, true }) {
            const char* kind = tokens ? "with tokens" : "plain";
            QTest::addRow("%s: Tab types a tab", kind) << false << tokens << int(Qt::Key_Tab) << none << false;
            QTest::addRow("%s: Ctrl+Tab leaves", kind) << false << tokens << int(Qt::Key_Tab) << control << true;
            QTest::addRow("%s: Ctrl+Shift+Tab leaves", kind)
                << false << tokens << int(Qt::Key_Backtab) << (control | Qt::ShiftModifier) << true;
            QTest::addRow("%s: one-line view, Tab leaves", kind) << true << tokens << int(Qt::Key_Tab) << none << true;
            QTest::addRow("%s: one-line view, Shift+Tab leaves", kind)
                << true << tokens << int(Qt::Key_Backtab) << Qt::KeyboardModifiers(Qt::ShiftModifier) << true;
        }
    }
    void tabLeavesTheViewWhereItMustAndCtrlTabAlways()
    {
        QFETCH(bool, tabChangesFocus);
        QFETCH(bool, tokens);
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(bool, leaves);
        auto* before = new QLineEdit(m_window);
        auto* after = new QLineEdit(m_window);
        QWidget::setTabOrder(before, m_view);
        QWidget::setTabOrder(m_view, after);
        before->show();
        after->show();
        if (tokens)
            m_view->addTextAttachmentPattern(std::make_shared<test::VariableTokens>());
        m_view->setTabChangesFocus(tabChangesFocus);
        m_view->setFocus();
        QTRY_VERIFY(m_view->hasFocus());
        QTest::keyClick(m_view, Qt::Key(key), modifiers);
        QCOMPARE(m_view->string(), leaves ? QString() : QString("\t"));
        QCOMPARE(m_view->hasFocus(), !leaves);
        if (leaves)
            QVERIFY((key == Qt::Key_Tab ? after : before)->hasFocus());
    }

    void typingATokenMakesAnAttachmentAndUndoRestoresTheText()
    {
        m_view->addTextAttachmentPattern(std::make_shared<test::VariableTokens>());
        QTest::keyClicks(m_view, "a ${x");
        QCOMPARE(attachmentCount(*m_view), 0);
        QTest::keyClick(m_view, Qt::Key_BraceRight, Qt::ShiftModifier);
        QCOMPARE(attachmentCount(*m_view), 1);
        QCOMPARE(plainText(*m_view), QString("a ${x}"));
        QCOMPARE(m_view->textCursor().position(), 3); // after the token
        QTest::keyClicks(m_view, "b");
        QCOMPARE(plainText(*m_view), QString("a ${x}b"));
        QCOMPARE(attachmentCount(*m_view), 1); // typed text never joins the token
        m_view->undo();
        m_view->undo();
        QCOMPARE(m_view->toPlainText(), QString("a ${x"));
    }

    void copyAndPasteCarryTokenText()
    {
        m_view->addTextAttachmentPattern(std::make_shared<test::VariableTokens>());
        m_view->insertAtCurrentSelection("x ${a}${a} y");
        QCOMPARE(attachmentCount(*m_view), 2);
        m_view->selectAll();
        m_view->copy();
        QCOMPARE(QApplication::clipboard()->text(), QString("x ${a}${a} y"));

        m_view->clear();
        QApplication::clipboard()->setText("p ${b} q");
        m_view->paste();
        QCOMPARE(plainText(*m_view), QString("p ${b} q"));
        QCOMPARE(attachmentCount(*m_view), 1);

        // Formatting never comes in: only the plain string is pasted.
        auto* rich = new QMimeData;
        rich->setHtml("<b>bold</b>");
        QApplication::clipboard()->setMimeData(rich);
        m_view->paste();
        QCOMPARE(plainText(*m_view), QString("p ${b} q"));
    }

    void aReadOnlyViewRefusesPasteCompletionAndTokens()
    {
        m_view->addTextAttachmentPattern(std::make_shared<test::VariableTokens>());
        m_view->completionController().registerCompletion(std::make_shared<Completion>("print"));
        m_view->setPlainText("a pr");
        m_view->moveCursor(QTextCursor::End);
        m_view->setEditable(false);
        QVERIFY(m_view->insertAtCurrentSelection("${a}").empty());
        QApplication::clipboard()->setText("${b}");
        m_view->paste();
        QTest::keyClick(m_view, Qt::Key_End);
        QVERIFY(!m_view->completionWindowController()->isVisible());
        m_view->completionViewControllerDidChooseCompletion(
            nullptr, m_view->completionController().completions().front());
        QCOMPARE(m_view->toPlainText(), QString("a pr"));
    }

    void committedTextReplacesTheComposedRangeAlsoWithTokens()
    {
        m_view->addTextAttachmentPattern(std::make_shared<test::VariableTokens>());
        m_view->setPlainText("x ab");
        m_view->moveCursor(QTextCursor::End);
        QInputMethodEvent commit;
        commit.setCommitString("${v}", -2, 2);
        QApplication::sendEvent(m_view, &commit);
        QCOMPARE(plainText(*m_view), QString("x ${v}"));
        QCOMPARE(attachmentCount(*m_view), 1);

        // Without a token the view's own handling replaces the same way (here the token).
        QInputMethodEvent plain;
        plain.setCommitString("Z", -1, 1);
        QApplication::sendEvent(m_view, &plain);
        QCOMPARE(plainText(*m_view), QString("x Z"));
    }

    void theCaretStaysInSightWhileTypingALongLine_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("plain text") << QString(90, QLatin1Char('w'));
        QTest::newRow("a token, then text") << QString(70, QLatin1Char('w')) + " ${name} and more words";
    }
    void theCaretStaysInSightWhileTypingALongLine()
    {
        QFETCH(QString, typed);
        m_view->addTextAttachmentPattern(std::make_shared<test::VariableTokens>());
        m_view->setLineWrapMode(QTextEdit::NoWrap);
        for (const QChar character : typed) {
            QTest::keyClicks(m_view, QString(character));
            const QRect caret = m_view->cursorRect();
            QVERIFY2(m_view->viewport()->rect().contains(caret),
                qPrintable(QStringLiteral("after %1 characters the caret is at x %2, the view %3 wide")
                               .arg(m_view->textCursor().position())
                               .arg(caret.x())
                               .arg(m_view->viewport()->width())));
        }
    }

    void theCompletionPopupMatchesTakesItsKeysAndNeverTheFocus()
    {
        auto print = std::make_shared<Completion>("print");
        print->setLabel("function");
        auto println = std::make_shared<Completion>("println");
        println->setLabel("macro");
        m_view->completionController().registerCompletion(print);
        m_view->completionController().registerCompletion(println);
        auto* popup = m_view->completionWindowController();

        QTest::keyClicks(m_view, "a pr");
        QTRY_VERIFY(popup->isVisible());
        QCOMPARE(popup->contentViewController()->completions().size(), std::size_t(2));
        // Each row reads as what it inserts, its kind beside it.
        const QAbstractItemModel* rows = popup->contentViewController()->tableView()->model();
        QCOMPARE(rows->index(1, 0).data().toString(), QString("println"));
        QCOMPARE(rows->index(1, 0).data(CompletionRowView::kindRole).toString(), QString("macro"));
        QVERIFY(m_view->hasFocus());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(m_view));
        QVERIFY(!popup->window()->isActiveWindow());

        QTest::keyClick(m_view, Qt::Key_Down);
        QCOMPARE(popup->contentViewController()->selectedCompletion(), CompletionPtr(println));
        QTest::keyClick(m_view, Qt::Key_Down); // stays on the last row
        QCOMPARE(popup->contentViewController()->selectedCompletion(), CompletionPtr(println));
        QTest::keyClick(m_view, Qt::Key_Up);
        QCOMPARE(popup->contentViewController()->selectedCompletion(), CompletionPtr(print));
        QCOMPARE(m_view->textCursor().position(), 4); // the arrows did not move the caret

        QTest::keyClick(m_view, Qt::Key_Return);
        QCOMPARE(m_view->toPlainText(), QString("a print"));
        QVERIFY(!popup->isVisible());

        QTest::keyClicks(m_view, " pri");
        QTRY_VERIFY(popup->isVisible());
        QTest::keyClick(m_view, Qt::Key_Escape);
        QVERIFY(!popup->isVisible());
        QCOMPARE(m_view->toPlainText(), QString("a print pri"));
        QTest::keyClick(m_view, Qt::Key_X);
        QVERIFY(!popup->isVisible()); // "prix" matches nothing
    }

    void completionsMatchTheTypedBeginning_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("completion");
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("matches");
        QTest::addColumn<QString>("completed");
        const QString space = QStringLiteral("(\\s|^)");
        QTest::newRow("typed beginning") << space << "print"
                                         << "a pr" << true << "a print";
        QTest::newRow("case-sensitive") << space << "print"
                                        << "a Pr" << false << "a Pr";
        QTest::newRow("needs a blank before") << space << "print"
                                              << "apr" << false << "apr";
        QTest::newRow("wrong letter") << space << "print"
                                      << "a px" << false << "a px";
        QTest::newRow("empty line") << space << "print"
                                    << "" << true << "print";
        QTest::newRow("fully typed") << space << "print"
                                     << "a print" << true << "a print";
        QTest::newRow("the dot is literal") << space << "a.b"
                                            << "a ax" << false << "a ax";
        QTest::newRow("longest typed part wins") << space << "a a"
                                                 << "x a a" << true << "x a a";
        QTest::newRow("empty prefix matches everything") << ""
                                                         << "zz"
                                                         << "anything" << true << "anythingzz";
        QTest::newRow("own prefix") << "\\."
                                    << "count"
                                    << "items.co" << true << "items.count";
    }
    void completionsMatchTheTypedBeginning()
    {
        QFETCH(QString, prefix);
        QFETCH(QString, completion);
        QFETCH(QString, line);
        QFETCH(bool, matches);
        QFETCH(QString, completed);
        const Completion entry(prefix, completion);
        QCOMPARE(entry.matches(line), matches);
        QCOMPARE(entry.completed(line), completed);
        QCOMPARE(entry.label(), QString("completion"));
    }

    void aContextMenuShortcutWorksWhileTheViewIsFocused()
    {
        QMenu menu;
        int triggered = 0;
        QAction* action = menu.addAction("Insert Variable");
        action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
        connect(action, &QAction::triggered, this, [&] { ++triggered; });
        m_view->setMenu(&menu);
        QTest::keyClick(m_view, Qt::Key_K, Qt::ControlModifier);
        QCOMPARE(triggered, 1);
        QCOMPARE(m_view->toPlainText(), QString());
    }
};

QTEST_MAIN(TextViewEditingTest)
#include "TextViewEditingTest.moc"
