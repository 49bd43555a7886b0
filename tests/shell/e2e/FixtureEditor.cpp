// A plain Qt text editor for the end-to-end tests, in a window whose title names the edited
// file. Run with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1.
//
//   quillet-fixture-editor [TITLE] [--combo | --read-only] [FILE]
//
// By default one QPlainTextEdit; --combo puts the text in the line edit of an editable
// QComboBox, whose focus proxy marks the box FOCUSED too; --read-only shows FILE in a text
// that cannot be edited. FILE's contents start the text, with the caret at the end.
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QStringList arguments = QApplication::arguments().mid(1);
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
