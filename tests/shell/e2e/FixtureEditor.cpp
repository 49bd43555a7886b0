// A plain Qt text editor for the end-to-end tests, in a window whose title names the edited
// file. Run with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1.
//
//   quillet-fixture-editor [TITLE] [--combo | --read-only] [FILE]
//   quillet-fixture-editor --own-clipboard TEXT
//   quillet-fixture-editor --print-clipboard
//
// By default one QPlainTextEdit; --combo puts the text in the line edit of an editable
// QComboBox, whose focus proxy marks the box FOCUSED too; --read-only shows FILE in a text
// that cannot be edited. FILE's contents start the text, with the caret at the end.
// --own-clipboard puts TEXT in the clipboard and the primary selection, each with a format of
// its own beside the text, prints "ready" and serves them until it is ended; --print-clipboard
// prints what both hold, as JSON.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QStringList arguments = QApplication::arguments().mid(1);
    constexpr auto noteFormat = "application/x-quillet-test-note";
    if (arguments.value(0) == QStringLiteral("--own-clipboard")) {
        for (const auto mode : { QClipboard::Clipboard, QClipboard::Selection }) {
            auto* data = new QMimeData;
            data->setText(arguments.value(1));
            data->setData(
                noteFormat, (mode == QClipboard::Clipboard ? "clipboard " : "primary ") + arguments.value(1).toUtf8());
            QApplication::clipboard()->setMimeData(data, mode);
        }
        std::printf("ready\n");
        std::fflush(stdout);
        return QApplication::exec();
    }
    if (arguments.value(0) == QStringLiteral("--print-clipboard")) {
        QJsonObject shown;
        for (const auto mode : { QClipboard::Clipboard, QClipboard::Selection }) {
            const QMimeData* data = QApplication::clipboard()->mimeData(mode);
            QJsonObject held;
            held.insert("text", data ? data->text() : QString());
            held.insert("note", data ? QString::fromUtf8(data->data(noteFormat)) : QString());
            shown.insert(mode == QClipboard::Clipboard ? "clipboard" : "primary", held);
        }
        std::printf("%s\n", QJsonDocument(shown).toJson(QJsonDocument::Compact).constData());
        return 0;
    }
    const bool combo = arguments.removeAll(QStringLiteral("--combo")) > 0;
    const bool readOnly = arguments.removeAll(QStringLiteral("--read-only")) > 0;
    const QString title = arguments.value(0, QStringLiteral("main.swift - Fixture"));
    QString contents;
    if (arguments.size() > 1) {
        QFile file(arguments.at(1));
        if (file.open(QIODevice::ReadOnly))
            contents = QString::fromUtf8(file.readAll());
    }

    QWidget window;
    window.setWindowTitle(title);
    window.resize(640, 400);
    auto* layout = new QVBoxLayout(&window);
    QWidget* focus = nullptr;
    if (combo) {
        auto* box = new QComboBox(&window);
        box->setEditable(true);
        box->addItems({ QStringLiteral("first choice"), QStringLiteral("second choice") });
        box->setCurrentText(contents);
        layout->addWidget(box);
        layout->addStretch();
        focus = box;
    } else {
        auto* editor = new QPlainTextEdit(&window);
        editor->setPlainText(contents);
        editor->moveCursor(QTextCursor::End);
        editor->setReadOnly(readOnly);
        if (readOnly)
            editor->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
        layout->addWidget(editor);
        focus = editor;
    }
    window.show();
    window.activateWindow();
    focus->setFocus();
    return QApplication::exec();
}
