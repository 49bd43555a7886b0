// A plain Qt text editor for the end-to-end tests: one QPlainTextEdit in a window whose
// title names the edited file. Run with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1.
#include <QApplication>
#include <QPlainTextEdit>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QPlainTextEdit editor;
    editor.setWindowTitle(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("main.swift - Fixture"));
    editor.resize(640, 400);
    editor.show();
    editor.activateWindow();
    editor.setFocus();
    return QApplication::exec();
}
