#include "intro/IntroStoryboard.h"

#include "intro/AccessibilityIntroViewController.h"
#include "intro/ExampleIntroViewController.h"
#include "intro/FinishIntroViewController.h"
#include "intro/ImageOnlyIntroViewController.h"
#include "intro/IntroImageView.h"
#include "intro/MenuIntroViewController.h"
#include "intro/ShortcutIntroViewController.h"
#include "intro/WelcomeAnimationView.h"
#include "intro/WelcomeIntroViewController.h"

#include <QClipboard>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace quillet {

namespace {

QLabel* titleLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QStringLiteral("IntroTitle"));
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 1.7);
    font.setBold(true);
    label->setFont(font);
    label->setAlignment(Qt::AlignHCenter);
    label->setWordWrap(true);
    return label;
}

QLabel* bodyLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignHCenter);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    return label;
}

/// Title, picture and text, top to bottom; returns the layout for the buttons below them.
QHBoxLayout* layOut(QWidget* page, const QString& title, IntroImageView* picture, const QString& text)
{
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(40, 44, 40, 28);
    layout->setSpacing(14);
    layout->addWidget(titleLabel(title, page));
    if (picture) {
        picture->setParent(page);
        if (picture->accessibleName().isEmpty())
            picture->setAccessibleName(title);
        layout->addWidget(picture, 1);
    }
    if (!text.isEmpty())
        layout->addWidget(bodyLabel(text, page));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    layout->addLayout(buttons);
    return buttons;
}

QHBoxLayout* layOut(QWidget* page, const QString& title, const QString& image, const QString& text)
{
    return layOut(page, title, image.isEmpty() ? nullptr : new IntroImageView(image), text);
}

/// The keys of a shortcut as the preferences write it ("Ctrl+Alt+X"), one by one.
QStringList keyNames(const QString& shortcut)
{
    QStringList keys = shortcut.split(QLatin1Char('+'));
    // The plus key itself: "Ctrl++" splits into "Ctrl", "", "".
    if (shortcut.endsWith(QLatin1String("++"))) {
        keys.removeLast();
        keys.last() = QStringLiteral("+");
    }
    keys.removeAll(QString());
    return keys;
}

/// The picture of the shortcut page: the keys to press, the last one pressed, drawn as the
/// introduction's other pictures are.
QByteArray keysPicture(const QStringList& keys)
{
    constexpr int height = 200, gap = 48, margin = 24;
    QString body;
    int x = margin;
    for (int i = 0; i < keys.size(); ++i) {
        const QString name = keys.at(i).toHtmlEscaped();
        const bool last = i == keys.size() - 1;
        const int width = std::max(84, 40 + 17 * int(keys.at(i).size()));
        const QString shadow = last ? QStringLiteral("#1f5f99") : QStringLiteral("#b8c2cf");
        const QString face = last ? QStringLiteral("#2f80c8") : QStringLiteral("#f7f9fc");
        const QString edge = last ? QStringLiteral("#1f5f99") : QStringLiteral("#9aa7b6");
        const QString ink = last ? QStringLiteral("#ffffff") : QStringLiteral("#2b333d");
        body += QStringLiteral("<rect x=\"%1\" y=\"66\" width=\"%2\" height=\"84\" rx=\"12\" fill=\"%3\"/>")
                    .arg(x)
                    .arg(width)
                    .arg(shadow);
        body += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"84\" rx=\"12\" fill=\"%4\" "
                               "stroke=\"%5\" stroke-width=\"2\"/>")
                    .arg(x)
                    .arg(last ? 62 : 58)
                    .arg(width)
                    .arg(face, edge);
        body += QStringLiteral("<text x=\"%1\" y=\"%2\" fill=\"%3\">%4</text>")
                    .arg(x + width / 2)
                    .arg(last ? 113 : 109)
                    .arg(ink, name);
        x += width;
        if (!last) {
            body += QStringLiteral("<text x=\"%1\" y=\"112\" fill=\"#9aa7b6\">+</text>").arg(x + gap / 2);
            x += gap;
        }
    }
    const int width = x + margin;
    return QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%2\" "
                          "viewBox=\"0 0 %1 %2\"><g font-family=\"sans-serif\" font-weight=\"bold\" "
                          "font-size=\"26\" text-anchor=\"middle\">%3</g></svg>")
        .arg(width)
        .arg(height)
        .arg(body)
        .toUtf8();
}

/// A command to copy: the text, selectable, and a button that copies it.
QWidget* commandLine(const QString& command, QWidget* parent)
{
    auto* line = new QWidget(parent);
    auto* row = new QHBoxLayout(line);
    row->setContentsMargins(0, 0, 0, 0);
    auto* field = new QLineEdit(command, line);
    field->setObjectName(QStringLiteral("ShortcutCommand"));
    field->setReadOnly(true);
    field->setAccessibleName(QObject::tr("Command"));
    QFont code(QStringLiteral("monospace"));
    code.setStyleHint(QFont::Monospace);
    field->setFont(code);
    auto* copy = new QPushButton(QObject::tr("Copy"), line);
    copy->setAccessibleName(QObject::tr("Copy %1").arg(command));
    QObject::connect(copy, &QPushButton::clicked, line, [command] { QGuiApplication::clipboard()->setText(command); });
    row->addWidget(field, 1);
    row->addWidget(copy);
    return line;
}

QPushButton* addButton(QHBoxLayout* row, const QString& text, const QString& name, bool isDefault = true)
{
    auto* button = new QPushButton(text);
    button->setObjectName(name);
    button->setDefault(isDefault);
    // A focused button answers Return, the forward buttons (which take the focus) included.
    button->setAutoDefault(true);
    row->addWidget(button);
    return button;
}

QWidget* examplesTable(QWidget* parent)
{
    struct Example {
        const char* typed;
        const char* code;
    };
    static const Example examples[] = {
        { "for item in items", "for item in items {\n    \n}" },
        { "guard let value", "guard let value else {\n    return\n}" },
        { "class Car: Vehicle", "class Car: Vehicle {\n    \n}" },
    };
    auto* table = new QWidget(parent);
    auto* grid = new QGridLayout(table);
    grid->setHorizontalSpacing(18);
    grid->setVerticalSpacing(10);
    QFont code(QStringLiteral("monospace"));
    code.setStyleHint(QFont::Monospace);
    int row = 0;
    for (const auto& example : examples) {
        auto* typed = new QLabel(QString::fromUtf8(example.typed), table);
        typed->setFont(code);
        auto* arrow = new QLabel(QStringLiteral("\u2192"), table);
        auto* output = new QLabel(QString::fromUtf8(example.code), table);
        output->setFont(code);
        output->setTextFormat(Qt::PlainText);
        output->setStyleSheet(QStringLiteral("QLabel { background: palette(base); border: 1px solid palette(mid);"
                                             " border-radius: 4px; padding: 4px 8px; }"));
        grid->addWidget(typed, row, 0, Qt::AlignRight | Qt::AlignTop);
        grid->addWidget(arrow, row, 1, Qt::AlignTop);
        grid->addWidget(output, row, 2, Qt::AlignLeft | Qt::AlignTop);
        ++row;
    }
    grid->setColumnStretch(3, 1);
    return table;
}

} // namespace

IntroStoryboard::IntroStoryboard(IntroEnvironment environment)
    : m_environment(std::move(environment))
{
}

IntroViewController* IntroStoryboard::instantiatePage(const QString& identifier) const
{
    const QString shortcut = m_environment.expandShortcutText ? m_environment.expandShortcutText() : QString();
    if (identifier == QLatin1String("WelcomeIntroViewController")) {
        auto* page = new WelcomeIntroViewController;
        // The animation presses the keys the user has chosen.
        page->videoView()->setExpandKeys(keyNames(shortcut));
        return page;
    }

    if (identifier == QLatin1String("AccessibilityIntroViewController")) {
        auto* page = new AccessibilityIntroViewController(m_environment.isAccessibilityTrusted);
        auto* buttons
            = layOut(page, QObject::tr("Let Quillet read your code"), QStringLiteral(":/intro/accessibility.svg"),
                QObject::tr("Quillet reads the line before the caret in your editor and writes the code "
                            "back through the desktop's accessibility interface. Allow it to use "
                            "assistive technologies, then continue."));
        auto* help = bodyLabel(QObject::tr("Assistive technologies are still turned off. Turn them on in your "
                                           "desktop's settings (GNOME: Settings \u203a Accessibility, or run "
                                           "\u201cgsettings set org.gnome.desktop.interface toolkit-accessibility "
                                           "true\u201d), log out and back in, start your editor again and press "
                                           "Continue."),
            page);
        help->setObjectName(QStringLiteral("AccessibilityHelp"));
        help->setTextInteractionFlags(Qt::TextSelectableByMouse);
        help->hide();
        static_cast<QVBoxLayout*>(page->layout())->insertWidget(page->layout()->count() - 1, help);
        page->setHelpLabel(help);
        QObject::connect(addButton(buttons, QObject::tr("Continue"), QStringLiteral("next")), &QPushButton::clicked,
            page, &AccessibilityIntroViewController::next);
        return page;
    }

    if (identifier == QLatin1String("ShortcutIntroViewController")) {
        auto* page = new ShortcutIntroViewController(m_environment.app);
        auto* buttons = layOut(page, QObject::tr("One shortcut to expand"), nullptr, QString());
        auto* column = static_cast<QVBoxLayout*>(page->layout());
        // The keys to press, the text, and the commands for the desktop's settings: what the
        // session offers, told afresh whenever that changes.
        auto* keysHolder = new QWidget(page);
        auto* keysLayout = new QVBoxLayout(keysHolder);
        keysLayout->setContentsMargins(0, 0, 0, 0);
        auto* text = bodyLabel(QString(), page);
        text->setObjectName(QStringLiteral("ShortcutGuide"));
        auto* commands = new QWidget(page);
        commands->setObjectName(QStringLiteral("ShortcutCommands"));
        auto* commandsLayout = new QVBoxLayout(commands);
        commandsLayout->setContentsMargins(0, 0, 0, 0);
        column->insertWidget(1, keysHolder, 1);
        column->insertWidget(2, text);
        column->insertWidget(3, commands, 1);
        commandsLayout->setAlignment(Qt::AlignTop);
        const IntroEnvironment environment = m_environment;
        const auto apply = [environment, column, keysHolder, text, commands] {
            ExpandShortcutGuide guide;
            if (environment.expandShortcutGuide) {
                guide = environment.expandShortcutGuide();
            } else {
                guide.keys = environment.expandShortcutText ? environment.expandShortcutText() : QString();
                guide.text = guide.keys.isEmpty()
                    ? QObject::tr("No expand shortcut is set. Record one in the preferences, then press it to go "
                                  "on, or click Next.")
                    : QObject::tr("In any editor, type an abbreviation and press %1: the abbreviation becomes "
                                  "code. Press %1 now to go on.")
                          .arg(guide.keys);
            }
            text->setText(guide.text);
            qDeleteAll(keysHolder->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly));
            // The keys only where pressing them reaches Quillet.
            if (!guide.keys.isEmpty()) {
                auto* keys = new IntroImageView(keysPicture(keyNames(guide.keys)), keysHolder);
                keys->setObjectName(QStringLiteral("ShortcutKeys"));
                keys->setAccessibleName(guide.keys);
                keysHolder->layout()->addWidget(keys);
            }
            // Without a picture the text sits in the middle of the page.
            column->setStretchFactor(commands, guide.keys.isEmpty() ? 1 : 0);
            qDeleteAll(commands->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly));
            for (const QString& command : guide.commands)
                commands->layout()->addWidget(commandLine(command, commands));
            commands->setVisible(!guide.commands.isEmpty());
        };
        apply();
        if (environment.watchExpandShortcutGuide)
            environment.watchExpandShortcutGuide(page, apply);
        // The keys may never reach this application (another program holds them, or the
        // desktop binds none): the page can always be left without them.
        QObject::connect(addButton(buttons, QObject::tr("Next"), QStringLiteral("next"), false), &QPushButton::clicked,
            page, &ShortcutIntroViewController::requestNextPage);
        return page;
    }

    if (identifier == QLatin1String("ExamplesIntroViewController")) {
        auto* page = new ExampleIntroViewController(identifier);
        auto* buttons = layOut(page, QObject::tr("Type a line, get the code"), QString(),
            QObject::tr("Quillet picks the expanders of your file's language first, by the name "
                        "in the editor's title."));
        static_cast<QVBoxLayout*>(page->layout())->insertWidget(1, examplesTable(page), 1);
        auto* link = addButton(buttons, QObject::tr("Supported Editors\u2026"), QStringLiteral("openLink"), false);
        buttons->insertWidget(0, link);
        buttons->insertStretch(1, 1);
        QObject::connect(link, &QPushButton::clicked, page, &ExampleIntroViewController::openLink);
        QObject::connect(addButton(buttons, QObject::tr("Next"), QStringLiteral("next")), &QPushButton::clicked, page,
            &ExampleIntroViewController::next);
        return page;
    }

    if (identifier == QLatin1String("MenuIntroViewController")) {
        auto* page = new MenuIntroViewController;
        auto* buttons = layOut(page, QObject::tr("Quillet keeps running"), QStringLiteral(":/intro/menu.svg"),
            QObject::tr("Its icon in the panel opens the menu: your expanders, the expander browser, "
                        "the preferences and help; it lights up while Quillet expands. Where the "
                        "panel shows no such icons, start Quillet again from the application menu: "
                        "the editor window opens, with the same menu in its menu bar."));
        QObject::connect(addButton(buttons, QObject::tr("Next"), QStringLiteral("next")), &QPushButton::clicked, page,
            &ImageOnlyIntroViewController::next);
        return page;
    }

    if (identifier == QLatin1String("ExpandersIntroViewController")
        || identifier == QLatin1String("BrowserIntroViewController")) {
        const bool expanders = identifier == QLatin1String("ExpandersIntroViewController");
        auto* page = new ImageOnlyIntroViewController(identifier);
        auto* buttons = expanders
            ? layOut(page, QObject::tr("Make expanders of your own"), QStringLiteral(":/intro/expanders.svg"),
                QObject::tr("An expander is a pattern with typed variables and an output template. Write your "
                            "own in the editor window, grouped in bundles."))
            : layOut(page, QObject::tr("Find the right expander"), QStringLiteral(":/intro/browser.svg"),
                QObject::tr("The expander browser searches every expander and shows how to use it."));
        QObject::connect(addButton(buttons, QObject::tr("Next"), QStringLiteral("next")), &QPushButton::clicked, page,
            &ImageOnlyIntroViewController::next);
        return page;
    }

    if (identifier == QLatin1String("ThankYouIntroViewController")) {
        auto* page = new FinishIntroViewController(identifier, m_environment.didCompleteIntroduction);
        auto* buttons = layOut(page, QObject::tr("You are ready"), QStringLiteral(":/intro/thankyou.svg"),
            QObject::tr("Thank you for using Quillet. The introduction stays in the menu, should "
                        "you want to see it again."));
        QObject::connect(addButton(buttons, QObject::tr("Start Using Quillet"), QStringLiteral("done")),
            &QPushButton::clicked, page, &FinishIntroViewController::done);
        return page;
    }
    return nullptr;
}

} // namespace quillet
