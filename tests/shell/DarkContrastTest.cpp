// The windows' texts on dark palettes, measured as a user sees them: each text is drawn
// offscreen, and the pixels of its letters are compared with the ground they are drawn on.
#include "OrvTextView/About/AboutWindowController.h"
#include "OrvTextView/Completion/Completion.h"
#include "OrvTextView/Completion/View/CompletionWindow.h"
#include "OrvTextView/Misc/QtColor.h"
#include "OrvTextView/OrvTextView.h"
#include "editor/EditorTabViewController.h"
#include "editor/EditorTestSupport.h"
#include "editor/EditorWindowController.h"
#include "editor/ExpanderAndPatternViewController.h"
#include "editor/SupportedLanguagesViewController.h"
#include "editor/VariableTextView.h"
#include "platform/UserDefaults.h"
#include "preferences/GeneralPreferencesViewController.h"
#include "preferences/ShortcutsPreferencesViewController.h"
#include "preferences/TextPreferencesViewController.h"

#include <QApplication>
#include <QFrame>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QListView>
#include <QSettings>
#include <QStyle>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quillet {
namespace {

struct DarkLook {
    const char* name;
    QColor window, windowText, base, text, disabledText, placeholder;
};

QPalette paletteOf(const DarkLook& look)
{
    QPalette palette(look.windowText, look.window);
    for (const auto group : { QPalette::Active, QPalette::Inactive }) {
        palette.setColor(group, QPalette::Window, look.window);
        palette.setColor(group, QPalette::WindowText, look.windowText);
        palette.setColor(group, QPalette::Base, look.base);
        palette.setColor(group, QPalette::Text, look.text);
        palette.setColor(group, QPalette::Button, look.window);
        palette.setColor(group, QPalette::ButtonText, look.windowText);
        palette.setColor(group, QPalette::PlaceholderText, look.placeholder);
    }
    palette.setColor(QPalette::Disabled, QPalette::Window, look.window);
    palette.setColor(QPalette::Disabled, QPalette::Base, look.base);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, look.disabledText);
    palette.setColor(QPalette::Disabled, QPalette::Text, look.disabledText);
    return palette;
}

/// The ground of a drawn text (its most frequent colour), its ink (the colour that stands out
/// from the ground the most) and the contrast of its strokes as they render: smoothed letters
/// are lighter at their edges than their colour, and thin ones may never show it whole.
struct Measured {
    QColor ground, ink;
    /// What the strongest tenth of the letters' pixels reach against the ground.
    double strokes = 0;
    double ratio() const { return orv::contrastRatio(ink, ground); }
};

Measured measure(const QImage& drawn)
{
    const QImage image = drawn.convertToFormat(QImage::Format_RGB32);
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y)];
    QRgb ground = 0;
    int most = -1;
    for (auto each = counts.cbegin(); each != counts.cend(); ++each)
        if (each.value() > most)
            most = each.value(), ground = each.key();
    Measured measured { QColor(ground), QColor(ground) };
    for (auto each = counts.cbegin(); each != counts.cend(); ++each)
        if (orv::contrastRatio(QColor(each.key()), measured.ground) > measured.ratio())
            measured.ink = QColor(each.key());
    // The letters' pixels: all that stand apart from the ground at all, smoothed edges included.
    std::vector<double> letters;
    for (auto each = counts.cbegin(); each != counts.cend(); ++each) {
        const double ratio = orv::contrastRatio(QColor(each.key()), measured.ground);
        if (ratio > 1.15)
            letters.insert(letters.end(), std::size_t(each.value()), ratio);
    }
    std::sort(letters.begin(), letters.end());
    if (!letters.empty())
        measured.strokes = letters[letters.size() * 9 / 10];
    return measured;
}

/// The part of a text view's viewport that shows the characters from `from` to `to`, on one line.
QRect charactersIn(QTextEdit* view, int from, int to)
{
    QTextCursor cursor(view->document());
    cursor.setPosition(from);
    const QRect start = view->cursorRect(cursor);
    cursor.setPosition(to);
    const QRect end = view->cursorRect(cursor);
    return QRect(QPoint(start.left() - 1, start.top()), QPoint(end.left() + 1, end.bottom()));
}

QImage drawn(QWidget* widget, const QRect& part = {})
{
    return widget->grab(part.isValid() ? part : widget->rect()).toImage();
}

QLabel* labelStartingWith(QWidget* in, const char* text)
{
    for (QLabel* label : in->findChildren<QLabel*>())
        if (label->text().startsWith(QString::fromUtf8(text)))
            return label;
    return nullptr;
}

// qt6ct's "darker" scheme, Adwaita-Dark and KDE's Breeze Dark colours.
const DarkLook darkLooks[] = {
    { "DarkerScheme", QColor(0x22, 0x20, 0x20), Qt::white, QColor(0x3d, 0x3d, 0x3d), Qt::white,
        QColor(0x80, 0x80, 0x80), QColor(0xff, 0xff, 0xff, 0x80) },
    { "AdwaitaDark", QColor(0x35, 0x35, 0x35), QColor(0xee, 0xee, 0xec), QColor(0x2d, 0x2d, 0x2d),
        QColor(0xee, 0xee, 0xec), QColor(0x91, 0x91, 0x90), QColor(0x7d, 0x7d, 0x7d) },
    { "BreezeDark", QColor(0x31, 0x36, 0x3b), QColor(0xef, 0xf0, 0xf1), QColor(0x23, 0x26, 0x29),
        QColor(0xef, 0xf0, 0xf1), QColor(0x63, 0x68, 0x6d), QColor(0xef, 0xf0, 0xf1, 0x80) },
};

class DarkContrastTest : public test::LibraryFixture {
protected:
    void SetUp() override
    {
        LibraryFixture::SetUp();
        const QString file = QString::fromStdString((dir.path() / "Quillet.conf").string());
        defaults = std::make_unique<UserDefaults>(std::make_unique<QSettings>(file, QSettings::IniFormat));
        defaults->registerApplicationDefaults();
        lightPalette = QApplication::palette();
    }
    void TearDown() override
    {
        QApplication::setPalette(lightPalette);
        LibraryFixture::TearDown();
    }

    static void shown(QWidget* window)
    {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    }

    /// The editor window, shown in edit mode on the first bundle's first expander.
    std::unique_ptr<EditorWindowController> editingFirstExpander()
    {
        auto editor = std::make_unique<EditorWindowController>(store(),
            EditorServices { .alerts = recording->userInterface, .fileDialogs = nullptr, .urlOpener = nullptr });
        editor->setMode(EditorMode::edit);
        editor->select(BundleListElement(expander(0, 0)));
        shown(editor->window());
        return editor;
    }
    static ExpanderAndPatternViewController* expanderPane(EditorWindowController& editor)
    {
        return static_cast<ExpanderEditorPaneAdapter*>(editor.editorTabViewController()->expanderEditor())
            ->controller();
    }

    std::unique_ptr<UserDefaults> defaults;
    QPalette lightPalette;
};

TEST_F(DarkContrastTest, EveryTextReadsOnEveryDarkPalette)
{
    const auto& looks = darkLooks;
    struct Text {
        const char* name;
        /// Draws the text on the palette now in use; fills in what was measured.
        std::function<void(std::vector<std::pair<std::string, Measured>>&)> draw;
    };
    const Text texts[] = {
        { "AboutLink",
            [](auto& out) {
                orv::AboutInfo info;
                info.name = QStringLiteral("Quillet");
                auto about = orv::AboutWindowController::createWithWindow(info);
                shown(about->window());
                out.push_back({ "link", measure(drawn(about->urlLabel())) });
            } },
        { "AutostartError",
            [this](auto& out) {
                GeneralPreferencesViewController general(*defaults, nullptr);
                shown(&general);
                auto* error = general.findChild<QLabel*>(QStringLiteral("LoginError"));
                error->setText(QStringLiteral("The autostart entry could not be written."));
                error->show();
                QApplication::processEvents();
                out.push_back({ "error", measure(drawn(error)) });
            } },
        { "PreferencesHints",
            [this](auto& out) {
                TextPreferencesViewController text(*defaults);
                ShortcutsPreferencesViewController shortcuts(*defaults);
                shown(&text);
                shown(&shortcuts);
                out.push_back({ "indentation note", measure(drawn(labelStartingWith(&text, "Expanded code"))) });
                out.push_back({ "shortcuts hint", measure(drawn(labelStartingWith(&shortcuts, "Click a shortcut"))) });
            } },
        { "CompletionList",
            [](auto& out) {
                QWidget popup;
                auto* list = new orv::CompletionViewController(&popup);
                popup.resize(260, 60);
                list->resize(260, 60);
                std::vector<orv::CompletionPtr> completions;
                for (const char* each : { "text", "number" }) {
                    auto completion = std::make_shared<orv::Completion>(QStringLiteral("x"), QString::fromUtf8(each));
                    completion->setLabel(QStringLiteral("type"));
                    completions.push_back(completion);
                }
                list->setCompletions(completions);
                shown(&popup);
                QWidget* rows = list->tableView()->viewport();
                for (int row = 0; row < 2; ++row) {
                    const QRect at = list->tableView()->visualRect(list->tableView()->model()->index(row, 0));
                    const std::string which = row == 0 ? "selected " : "";
                    out.push_back({ which + "name", measure(drawn(rows, at.adjusted(0, 0, -at.width() / 2, 0))) });
                    out.push_back({ which + "type", measure(drawn(rows, at.adjusted(at.width() - 70, 0, 0, 0))) });
                }
            } },
        { "ExpanderErrorBox",
            [this](auto& out) {
                expander(0, 0)->setPattern(icu::UnicodeString::fromUTF8("a1 ${x:nosuchtype}"));
                const auto editor = editingFirstExpander();
                auto* pane = expanderPane(*editor);
                QFrame* box = pane->errorBox();
                ASSERT_TRUE(QTest::qWaitFor(
                    [box] { return box->height() == ExpanderAndPatternViewController::errorBoxHeight; }, 3000));
                const Measured text = measure(drawn(box));
                out.push_back({ "error", text });
                // The box follows the palette: a dark box on a dark window, as the pages have it.
                const QColor window = pane->palette().color(QPalette::Window);
                out.push_back({ "box against its window", Measured { window, text.ground } });
            } },
        { "DescriptionCodeAndQuote",
            [this](auto& out) {
                const char* description = "Type `for item in items` first\n> the loop's body follows";
                expander(0, 0)->setExpanderDescription(icu::UnicodeString::fromUTF8(description));
                const auto editor = editingFirstExpander();
                auto* pane = expanderPane(*editor);
                QTextEdit* view = pane->descriptionView();
                const QString text = view->toPlainText();
                ASSERT_EQ(text, QString::fromUtf8(description));
                const int code = int(text.indexOf(QLatin1Char('`')));
                const int quote = int(text.indexOf(QLatin1Char('>')));
                out.push_back({ "inline code",
                    measure(drawn(view->viewport(), charactersIn(view, code + 1, int(text.indexOf('`', code + 1))))) });
                out.push_back(
                    { "quote", measure(drawn(view->viewport(), charactersIn(view, quote + 2, int(text.size())))) });
            } },
        { "OutputOptionalBars",
            [this](auto& out) {
                expander(0, 0)->setOutputTemplate(icu::UnicodeString::fromUTF8("<${x}|, more|>"));
                const auto editor = editingFirstExpander();
                auto* pane = expanderPane(*editor);
                QTextEdit* view = pane->outputTextView();
                const QString text = view->toPlainText();
                // The placeholder is one token: the bars come after it.
                const int first = int(text.indexOf(QLatin1Char('|')));
                const int second = int(text.indexOf(QLatin1Char('|'), first + 1));
                ASSERT_GT(first, 0);
                ASSERT_GT(second, first);
                out.push_back(
                    { "opening bar", measure(drawn(view->viewport(), charactersIn(view, first, first + 1))) });
                out.push_back(
                    { "optional text", measure(drawn(view->viewport(), charactersIn(view, first + 1, second))) });
                out.push_back(
                    { "closing bar", measure(drawn(view->viewport(), charactersIn(view, second, second + 1))) });
            } },
    };
    for (const DarkLook& look : looks) {
        QApplication::setPalette(paletteOf(look));
        for (const Text& text : texts) {
            SCOPED_TRACE(std::string(look.name) + " " + text.name);
            std::vector<std::pair<std::string, Measured>> measured;
            text.draw(measured);
            ASSERT_FALSE(measured.empty());
            for (const auto& [part, value] : measured) {
                const std::string colours = value.ink.name().toStdString() + " on " + value.ground.name().toStdString();
                if (part == "box against its window") {
                    EXPECT_LT(value.ratio(), 2.0) << part << ": " << colours;
                    continue;
                }
                EXPECT_GE(value.ratio(), 4.5) << part << ": " << colours;
                // The strokes as drawn, not only the colour: a text that reads at 4.5:1 as a
                // colour renders lighter. The completion list's small letters are held to their
                // colour alone.
                if (std::string(text.name) != "CompletionList") {
                    EXPECT_GE(value.strokes, 4.5) << part << " renders at " << value.strokes << ": " << colours;
                }
            }
        }
    }
}

TEST_F(DarkContrastTest, TheLanguagesChoosersCurrentRowReadsInEveryLook)
{
    // The style's own light palette, KDE's Breeze colours, Breeze Dark and Adwaita-Dark, with their highlights.
    const DarkLook breeze { "Breeze", QColor(0xef, 0xf0, 0xf1), QColor(0x23, 0x26, 0x29), QColor(0xfc, 0xfc, 0xfc),
        QColor(0x23, 0x26, 0x29), QColor(0xa0, 0xa1, 0xa3), QColor(0x23, 0x26, 0x29, 0x80) };
    const std::tuple<const DarkLook*, QColor, QColor> looks[]
        = { { nullptr, {}, {} }, { &breeze, QColor(0x3d, 0xae, 0xe9), QColor(0xfc, 0xfc, 0xfc) },
              { &darkLooks[2], QColor(0x3d, 0xae, 0xe9), QColor(0xef, 0xf0, 0xf1) },
              { &darkLooks[1], QColor(0x15, 0x53, 0x9e), Qt::white } };
    for (const auto& [look, highlight, highlightedText] : looks) {
        SCOPED_TRACE(look ? look->name : "Light");
        QPalette palette = look ? paletteOf(*look) : lightPalette;
        for (const auto group : { QPalette::Active, QPalette::Inactive }) {
            if (look) {
                palette.setColor(group, QPalette::Highlight, highlight);
                palette.setColor(group, QPalette::HighlightedText, highlightedText);
            }
        }
        QApplication::setPalette(palette);
        SupportedLanguagesViewController chooser;
        chooser.setExpander(expander(0, 0));
        shown(&chooser);
        QListView* list = chooser.listView();
        ASSERT_TRUE(list->selectionModel()->isSelected(list->currentIndex()));
        // The language's name, right of its check box.
        QRect row = list->visualRect(list->currentIndex());
        row.setLeft(row.left() + list->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, list) + 8);
        const Measured current = measure(drawn(list->viewport(), row));
        EXPECT_GE(current.ratio(), 4.5) << current.ink.name().toStdString() << " on "
                                        << current.ground.name().toStdString();
    }
}

} // namespace
} // namespace quillet
