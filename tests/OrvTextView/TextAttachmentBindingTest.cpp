#include "OrvTextView/Attachments/TextAttachmentBinding.h"
#include "OrvTextView/OrvTextView.h"

#include "TestTokens.h"

#include <QTest>

using namespace orv;

class TextAttachmentBindingTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void theModelAndTheViewFollowEachOther()
    {
        OrvTextView view;
        view.addTextAttachmentPattern(std::make_shared<test::VariableTokens>());
        view.show();
        QString model = "say ${name}${name}";
        int writes = 0;
        TextAttachmentBinding* binding = nullptr;
        binding = new TextAttachmentBinding(
            &view, [&] { return model; },
            [&](const QString& value) {
                ++writes;
                model = value;
                // A model that reports every change back, as observers do.
                if (binding)
                    binding->modelDidChange();
            });
        QCOMPARE(view.attributedText().attachments.size(), std::size_t(2));
        QCOMPARE(writes, 0);

        view.moveCursor(QTextCursor::End);
        QTest::keyClicks(&view, " ${x}");
        QCOMPARE(model, QString("say ${name}${name} ${x}"));
        QCOMPARE(view.attributedText().attachments.size(), std::size_t(3));
        QCOMPARE(view.textCursor().position(), view.document()->characterCount() - 1); // the caret stayed
        QVERIFY(view.document()->isUndoAvailable());

        model = "new ${a} text";
        binding->modelDidChange();
        QCOMPARE(TextAttachmentTransformer::reverseTransformedValue(view.attributedText()), model);
        QCOMPARE(view.attributedText().attachments.size(), std::size_t(1));
    }
};

QTEST_MAIN(TextAttachmentBindingTest)
#include "TextAttachmentBindingTest.moc"
