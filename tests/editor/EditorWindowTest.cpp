#include "editor/EditorWindowController.h"

#include "EditorTestSupport.h"
#include "docs/views/DocsViewController.h"
#include "docs/views/QtText.h"
#include "editor/BundleEditorViewController.h"
#include "editor/BundleListViewController.h"
#include "editor/EditorTabViewController.h"
#include "editor/QLMDTextView.h"
#include "editor/SupportedLanguagesViewController.h"
#include "library/Alert.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMainWindow>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

namespace quillet {
namespace {

using test::LibraryShape;

struct FakeFileDialogs final : FileDialogs {
    QString chooseExportFile(QWidget*, const QString& proposedName) override
    {
        proposed.push_back(proposedName);
        return exportAnswer;
    }
    QStringList chooseImportFiles(QWidget*) override { return importAnswer; }

    QString exportAnswer;
    QStringList importAnswer;
    QStringList proposed;
};

struct FakeExpanderPane final : ExpanderEditorPane {
    QWidget* widget() override { return &view; }
    void setExpander(const CustomExpanderPtr& expander) override { shown.push_back(expander); }
    QWidget view;
    std::vector<CustomExpanderPtr> shown;
};

class EditorWindowTest : public test::LibraryFixture {
protected:
    void SetUp() override
    {
        LibraryFixture::SetUp();
        dialogs = std::make_shared<FakeFileDialogs>();
        controller = std::make_unique<EditorWindowController>(store(),
            EditorServices { .alerts = recording->userInterface, .fileDialogs = dialogs, .urlOpener = nullptr });
        controller->showWindow();
    }
    void TearDown() override
    {
        controller.reset();
        LibraryFixture::TearDown();
    }

    BundleListViewController& list() { return *controller->bundleListViewController(); }
    EditorTabViewController& tabs() { return *controller->editorTabViewController(); }
    void selectRows(const std::vector<BundleListElement>& elements)
    {
        auto* selection = list().outlineView()->selectionModel();
        selection->clearSelection();
        for (const auto& element : elements)
            selection->select(
                list().model()->indexOf(element), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QMessageBox* openQuestion() { return list().deleteQuestion(); }

    std::shared_ptr<FakeFileDialogs> dialogs;
    std::unique_ptr<EditorWindowController> controller;
};

TEST_F(EditorWindowTest, ThePaneFollowsTheSelectionAndTheMode)
{
    struct Case {
        const char* what;
        std::vector<BundleListElement> selection;
        EditorMode mode;
        EditorTab tab;
        bool paneGetsElement;
    };
    const Case cases[] = {
        { "nothing, docs", {}, EditorMode::docs, EditorTab::emptySelection, false },
        { "nothing, edit", {}, EditorMode::edit, EditorTab::emptySelection, false },
        { "bundle, docs", { BundleListElement(bundle(1)) }, EditorMode::docs, EditorTab::docs, true },
        { "bundle, edit", { BundleListElement(bundle(1)) }, EditorMode::edit, EditorTab::bundleEditor, true },
        { "expander, docs", { BundleListElement(expander(0, 1)) }, EditorMode::docs, EditorTab::docs, true },
        { "expander, edit", { BundleListElement(expander(0, 1)) }, EditorMode::edit, EditorTab::expanderEditor, true },
        { "two rows, edit", { BundleListElement(bundle(0)), BundleListElement(expander(1, 0)) }, EditorMode::edit,
            EditorTab::bundleEditor, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        controller->setMode(c.mode);
        selectRows(c.selection);
        EXPECT_EQ(controller->currentEditorTab(), c.tab);
        EXPECT_EQ(tabs().selectedTab(), c.tab);
        EXPECT_EQ(controller->isModeSegmentedControlHidden(), c.tab == EditorTab::emptySelection);
        // What the user sees once the tool bar has laid itself out again.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        for (const char* name : { "docsModeButton", "editModeButton" }) {
            auto* button = controller->window()->findChild<QAbstractButton*>(QString::fromLatin1(name));
            ASSERT_NE(button, nullptr) << name;
            EXPECT_EQ(button->isVisible(), c.tab != EditorTab::emptySelection) << name;
        }
        EXPECT_EQ(tabs().bundleListElement().has_value(), c.paneGetsElement);
        if (c.paneGetsElement) {
            EXPECT_TRUE(*tabs().bundleListElement() == c.selection.front());
            EXPECT_EQ(controller->window()->windowTitle(), qtString(c.selection.front().name()));
        }
        EXPECT_EQ(tabs().bundleEditor()->bundle(),
            c.paneGetsElement && c.selection.front().isBundle() ? c.selection.front().bundle() : nullptr);
    }
    // Toggling flips between the documentation and the editor of the same element.
    selectRows({ BundleListElement(bundle(0)) });
    controller->setMode(EditorMode::docs);
    controller->toggleMode();
    EXPECT_EQ(tabs().selectedTab(), EditorTab::bundleEditor);
    controller->toggleMode();
    EXPECT_EQ(tabs().selectedTab(), EditorTab::docs);
}

TEST_F(EditorWindowTest, DeletingTheSelectedRowSelectsItsNeighbour)
{
    // Library: A {a1, a2, a3}, B {b1}, C {}. Each step deletes the selected row.
    struct Step {
        const char* deleted;
        const char* selectedAfter; // the row selected once it is gone; nullptr for none
    };
    const Step steps[] = {
        { "a2", "a3" }, // the next row of the same bundle
        { "a3", "a1" }, // the last expander: the previous one
        { "a1", "A" }, // the only expander: its bundle
        { "B", "C" }, // a bundle: the next bundle
        { "C", "A" }, // the last bundle: the previous one
        { "A", nullptr },
    };
    const auto named = [this](const char* name) -> std::optional<BundleListElement> {
        for (const auto& each : store().bundles()) {
            if (each->name() == icu::UnicodeString::fromUTF8(name))
                return BundleListElement(each);
            for (const auto& expander : each->expanders())
                if (expander->name() == icu::UnicodeString::fromUTF8(name))
                    return BundleListElement(expander);
        }
        return std::nullopt;
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.deleted);
        const auto element = named(step.deleted);
        ASSERT_TRUE(element);
        controller->select(*element);
        list().deleteSelectedItem();
        ASSERT_TRUE(openQuestion());
        openQuestion()->findChild<QAbstractButton*>(QStringLiteral("yesButton"))->click();
        QCoreApplication::processEvents();
        EXPECT_FALSE(named(step.deleted));
        const auto selection = list().selectedObjects();
        if (!step.selectedAfter) {
            EXPECT_TRUE(selection.empty());
            continue;
        }
        ASSERT_EQ(selection.size(), 1u);
        EXPECT_EQ(qtString(selection.front().name()), QString::fromUtf8(step.selectedAfter));
        EXPECT_EQ(list().outlineView()->currentIndex(), list().model()->indexOf(selection.front()));
    }
}

TEST(EditorFileDialogsTest, ExportStartsAtHomeWithTheProposedNameThenInTheLastFolder)
{
    const auto dialogs = EditorServices {}.completed().fileDialogs;
    QTemporaryDir chosenFolder;
    ASSERT_TRUE(chosenFolder.isValid());
    struct Seen {
        QString folder;
        QString file;
    };
    // Answers the next file dialog with `answer` (or cancels it), noting where it started.
    const auto answerNextDialog = [](Seen& seen, const QString& answer) {
        QTimer::singleShot(0, [&seen, answer] {
            QFileDialog* dialog = nullptr;
            for (auto* widget : QApplication::topLevelWidgets())
                if (auto* each = qobject_cast<QFileDialog*>(widget); each && each->isVisible())
                    dialog = each;
            ASSERT_NE(dialog, nullptr);
            seen.folder = dialog->directory().absolutePath();
            seen.file = dialog->selectedFiles().value(0);
            if (answer.isEmpty()) {
                dialog->reject();
                return;
            }
            dialog->selectFile(answer);
            static_cast<QDialog*>(dialog)->accept();
        });
    };
    const QString home = QDir(QDir::homePath()).absolutePath();
    const QString target = QDir(chosenFolder.path()).filePath(QStringLiteral("Out.qlbundle"));

    Seen first;
    answerNextDialog(first, target);
    EXPECT_EQ(dialogs->chooseExportFile(nullptr, QStringLiteral("A.qlbundle")), target);
    EXPECT_EQ(first.folder, home);
    EXPECT_EQ(first.file, QDir(home).filePath(QStringLiteral("A.qlbundle")));

    // The next export starts where the last one went; a cancelled dialog gives nothing.
    Seen second;
    answerNextDialog(second, QString());
    EXPECT_EQ(dialogs->chooseExportFile(nullptr, QStringLiteral("B.qlbundle")), QString());
    EXPECT_EQ(second.folder, QDir(chosenFolder.path()).absolutePath());
    EXPECT_EQ(second.file, QDir(chosenFolder.path()).filePath(QStringLiteral("B.qlbundle")));
}

TEST_F(EditorWindowTest, TheLanguageChooserShowsEveryRowAtANormalHeightWithoutEmptySpace)
{
    SupportedLanguagesViewController chooser;
    chooser.setExpander(expander(0, 0));
    chooser.resize(chooser.sizeHint());
    chooser.show();
    QCoreApplication::processEvents();

    const QListView* view = chooser.listView();
    const QFontMetrics metrics = view->fontMetrics();
    const int rows = chooser.model()->rowCount();
    ASSERT_EQ(rows, 18);
    const int rowHeight = view->visualRect(chooser.model()->index(0)).height();
    EXPECT_GE(rowHeight, 22);
    EXPECT_GE(rowHeight, metrics.height() + 8);
    for (int row = 0; row < rows; ++row) {
        const QModelIndex index = chooser.model()->index(row);
        const QRect rect = view->visualRect(index);
        EXPECT_EQ(rect.height(), rowHeight) << row;
        EXPECT_GE(rect.width(), metrics.horizontalAdvance(index.data().toString())) << row;
    }
    // Every row shows, and no more than a row's height is left below the last.
    const int lastBottom = view->visualRect(chooser.model()->index(rows - 1)).bottom() + 1;
    EXPECT_LE(lastBottom, view->viewport()->height());
    EXPECT_LT(view->viewport()->height() - lastBottom, rowHeight);
    EXPECT_FALSE(view->verticalScrollBar()->isVisible());

    // The panes show their choosers at that size, not stretched below it.
    const auto panes = controller->window()->findChildren<SupportedLanguagesViewController*>();
    EXPECT_EQ(panes.size(), 2); // the bundle's and the expander's
    for (auto* pane : panes) {
        SCOPED_TRACE(pane->parent()->metaObject()->className());
        EXPECT_EQ(pane->sizeHint().expandedTo(pane->minimumSize()), pane->sizeHint());
    }
}

/// Text a crafted bundle could carry: as rich text, a link that opens a file and a heading.
const char16_t* const markup = u"<a href=\"file:///etc/passwd\">passwd</a><h1>Big</h1>";

/// Every text of the box is shown as the characters it holds, and no link opens anything.
void expectPlainText(QMessageBox& box, const QString& expected)
{
    int shown = 0;
    for (auto* label : box.findChildren<QLabel*>()) {
        if (label->text().isEmpty())
            continue;
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();
        EXPECT_FALSE(label->openExternalLinks());
        shown += label->text().contains(expected);
    }
    EXPECT_GE(shown, 1);
}

TEST_F(EditorWindowTest, DialogsShowNamesAndFileContentsAsPlainText)
{
    const QString text = QString::fromUtf16(markup);
    bundle(0)->setName(markup);
    controller->select(BundleListElement(bundle(0)));
    list().deleteSelectedItem();
    ASSERT_TRUE(openQuestion());
    expectPlainText(*openQuestion(), text);
    openQuestion()->findChild<QAbstractButton*>(QStringLiteral("noButton"))->click();

    // The editor's own alerts (export and import failures).
    const auto alerts = EditorServices {}.completed().alerts;
    bool checked = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        expectPlainText(*box, text);
        checked = true;
        box->done(0);
    });
    alerts->runModal(Alert::withTitle(markup, markup));
    EXPECT_TRUE(checked);
}

TEST_F(EditorWindowTest, TheFrameGoesToTheOneSettingsFileWhenItChangesWhileTheWindowStaysOpen)
{
    const QString file = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/orvanta/Quillet.ini");
    QSettings(file, QSettings::IniFormat).remove(QStringLiteral("EditorWindowFrame"));
    // Another size than any earlier run left in the file, so the window really changes.
    const QSize now = controller->window()->size();
    // Never below the window's smallest size, which the window would keep instead.
    const QSize smaller = now - QSize(37, 23);
    const QSize target = smaller.width() > 700 && smaller.height() >= controller->window()->minimumSizeHint().height()
        ? smaller
        : now + QSize(37, 23);
    controller->window()->resize(target);
    const auto stored = [&] {
        return QSettings(file, QSettings::IniFormat).value(QStringLiteral("EditorWindowFrame")).toByteArray();
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return !stored().isEmpty(); }, 5000));
    QMainWindow restored;
    ASSERT_TRUE(restored.restoreGeometry(stored()));
    EXPECT_EQ(restored.size(), target);
    EXPECT_TRUE(controller->window()->isVisible());
}

TEST_F(EditorWindowTest, DeleteRemovesTheElementAskedAboutWhateverIsSelectedWhenAnswered)
{
    const auto a = bundle(0);
    const auto b1 = expander(1, 0);
    controller->select(BundleListElement(a));
    list().deleteSelectedItem();
    ASSERT_TRUE(openQuestion());
    EXPECT_EQ(openQuestion()->text(), QStringLiteral("Are you sure you want to delete \"A\" bundle?"));
    controller->select(BundleListElement(b1));
    openQuestion()->findChild<QAbstractButton*>(QStringLiteral("yesButton"))->click();
    QCoreApplication::processEvents();

    EXPECT_EQ(savedShape(), (LibraryShape { { "B", { "b1" } }, { "C", {} } }));
    EXPECT_EQ(saveCount(), 1u);
    EXPECT_EQ(openQuestion(), nullptr);

    // "No" leaves everything; so does an element that went away while the question was open.
    list().deleteSelectedItem();
    ASSERT_TRUE(openQuestion());
    EXPECT_EQ(openQuestion()->text(), QStringLiteral("Are you sure you want to delete \"b1\" expander?"));
    openQuestion()->findChild<QAbstractButton*>(QStringLiteral("noButton"))->click();
    QCoreApplication::processEvents();
    list().deleteSelectedItem();
    BundleListActions(store()).remove(BundleListElement(bundle(0)));
    const std::size_t saves = saveCount();
    openQuestion()->findChild<QAbstractButton*>(QStringLiteral("yesButton"))->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(saveCount(), saves);
    EXPECT_EQ(storeShape(), (LibraryShape { { "C", {} } }));
}

TEST_F(EditorWindowTest, NewAndDuplicatedElementsOpenSelectedInEditMode)
{
    controller->setMode(EditorMode::docs);
    list().newBundle();
    EXPECT_EQ(controller->mode(), EditorMode::edit);
    EXPECT_EQ(tabs().selectedTab(), EditorTab::bundleEditor);
    EXPECT_EQ(tabs().bundleEditor()->bundle(), bundle(3));
    EXPECT_EQ(controller->window()->windowTitle(), QStringLiteral("New Bundle"));

    list().newExpander();
    EXPECT_EQ(tabs().selectedTab(), EditorTab::expanderEditor);
    ASSERT_EQ(bundle(3)->expanders().size(), 1u);
    EXPECT_TRUE(list().selectedObjects().front() == BundleListElement(bundle(3)->expanders().front()));

    controller->setMode(EditorMode::docs);
    list().duplicateSelectedItem();
    EXPECT_EQ(controller->mode(), EditorMode::edit);
    EXPECT_EQ(savedShape().back(),
        (std::pair<std::string, std::vector<std::string>> { "New Bundle", { "New Expander", "New Expander" } }));
    EXPECT_TRUE(list().selectedObjects().front() == BundleListElement(bundle(3)->expanders().back()));

    // Selecting what the library does not hold changes nothing.
    controller->select(BundleListElement(std::make_shared<Bundle>()));
    EXPECT_TRUE(list().selectedObjects().front() == BundleListElement(bundle(3)->expanders().back()));
}

TEST_F(EditorWindowTest, TheBundleEditorEditsTheBundleAndItsLanguages)
{
    controller->setMode(EditorMode::edit);
    controller->select(BundleListElement(bundle(1)));
    auto& editor = *tabs().bundleEditor();
    QTest::keyClicks(editor.nameField(), QStringLiteral("ee"));
    editor.descriptionTextView()->setPlainText(QStringLiteral("> b1 x"));
    editor.enabledCheckBox()->click();
    EXPECT_EQ(bundle(1)->name(), icu::UnicodeString(u"Bee"));
    EXPECT_EQ(bundle(1)->bundleDescription(), icu::UnicodeString(u"> b1 x"));
    EXPECT_FALSE(bundle(1)->isEnabled());
    EXPECT_EQ(list().model()->indexOf(BundleListElement(bundle(1))).data().toString(), QStringLiteral("Bee"));

    // An empty name is not written; the reason shows instead.
    editor.nameField()->selectAll();
    QTest::keyClick(editor.nameField(), Qt::Key_Backspace);
    EXPECT_EQ(bundle(1)->name(), icu::UnicodeString(u"Bee"));
    EXPECT_FALSE(editor.errorLabel()->isHidden());

    auto* languages = editor.languagesChooser()->model();
    QStringList names;
    for (int row = 0; row < languages->rowCount(); ++row)
        names.push_back(languages->index(row).data().toString());
    EXPECT_EQ(names,
        (QStringList { "Any Language", "Bash", "C", "C#", "C++", "CSS", "Elixir", "Go", "HTML", "JSON", "Java",
            "JavaScript", "Objective C", "PHP", "Python", "Ruby", "Swift", "XML" }));
    const QModelIndex swift = languages->index(static_cast<int>(names.indexOf("Swift")));
    const QModelIndex any = languages->index(0);
    EXPECT_EQ(any.data(Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_TRUE(languages->setData(swift, Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(savedLibrary()["bundles"][1]["supported_languages"], nlohmann::json({ "any", "swift" }));
    EXPECT_TRUE(languages->setData(any, Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_EQ(savedLibrary()["bundles"][1]["supported_languages"], nlohmann::json({ "swift" }));
    EXPECT_EQ(editor.languagesLabel()->text(), QStringLiteral("Swift"));
    EXPECT_EQ(savedLibrary()["bundles"][1]["name"], "Bee");

    // Another bundle: the chooser follows it.
    controller->select(BundleListElement(bundle(0)));
    EXPECT_EQ(
        languages->index(static_cast<int>(names.indexOf("Swift"))).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_EQ(editor.nameField()->text(), QStringLiteral("A"));
}

TEST_F(EditorWindowTest, TheExpanderTabShowsThePaneInstalledInIt)
{
    auto pane = std::make_unique<FakeExpanderPane>();
    auto* fake = pane.get();
    controller->setMode(EditorMode::edit);
    controller->select(BundleListElement(expander(0, 2)));
    tabs().setExpanderEditor(std::move(pane));
    EXPECT_EQ(tabs().currentWidget(), &fake->view);
    ASSERT_FALSE(fake->shown.empty());
    EXPECT_EQ(fake->shown.back(), expander(0, 2));
    controller->select(BundleListElement(bundle(0)));
    EXPECT_EQ(fake->shown.back(), nullptr);
}

TEST_F(EditorWindowTest, ExportAndImportGoThroughTheDialogsAndAlerts)
{
    controller->select(BundleListElement(bundle(0)));
    dialogs->exportAnswer = QString::fromStdString((dir.path() / "A.qlbundle").string());
    list().exportSelectedBundle();
    EXPECT_EQ(dialogs->proposed, QStringList { QStringLiteral("A.qlbundle") });
    ASSERT_TRUE(std::filesystem::exists(dir.path() / "A.qlbundle"));

    dialogs->exportAnswer = QString::fromStdString((dir.path() / "A.qlbundle" / "x.qlbundle").string());
    list().exportSelectedBundle();
    ASSERT_EQ(recording->userInterface->alerts.size(), 1u);
    EXPECT_EQ(recording->userInterface->alerts.back().messageText, icu::UnicodeString(u"File could not be saved"));

    controller->select(BundleListElement(expander(0, 0)));
    EXPECT_FALSE(list().canExport());
    list().exportSelectedBundle();
    EXPECT_EQ(dialogs->proposed.size(), 2);

    test::writeFile(dir.path() / "bad.qlbundle", "{");
    dialogs->importAnswer = { QString::fromStdString((dir.path() / "bad.qlbundle").string()),
        QString::fromStdString((dir.path() / "A.qlbundle").string()) };
    list().importBundles();
    EXPECT_EQ(recording->userInterface->alerts.size(), 2u);
    EXPECT_EQ(recording->userInterface->alerts.back().messageText, icu::UnicodeString(u"File could not be read"));
    ASSERT_EQ(store().bundles().size(), 4u);
    EXPECT_EQ(store().bundles().back()->dictionary(), bundle(0)->dictionary());
    EXPECT_TRUE(list().selectedObjects().front() == BundleListElement(store().bundles().back()));
}

} // namespace
} // namespace quillet

namespace quillet {
namespace {

TEST_F(EditorWindowTest, ARightClickSelectsTheClickedRowAloneAndBesideTheRowsKeepsTheSelection)
{
    selectRows({ BundleListElement(bundle(0)), BundleListElement(bundle(1)) });
    auto* view = list().outlineView();
    const QPoint onC = view->visualRect(list().model()->indexOf(BundleListElement(bundle(2)))).center();
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, onC);
    ASSERT_EQ(list().selectedObjects().size(), 1u);
    EXPECT_TRUE(list().selectedObjects().front() == BundleListElement(bundle(2)));

    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, QPoint(onC.x(), view->viewport()->height() - 2));
    ASSERT_EQ(list().selectedObjects().size(), 1u);
    EXPECT_TRUE(list().selectedObjects().front() == BundleListElement(bundle(2)));
}

TEST_F(EditorWindowTest, BundleFilesDroppedOntoTheListAreImportedAndShown)
{
    BundleListActions::exportBundle(*bundle(1), dir.path() / "B.qlbundle");
    QMimeData files;
    files.setUrls({ QUrl::fromLocalFile(QString::fromStdString((dir.path() / "B.qlbundle").string())) });
    ASSERT_TRUE(list().model()->dropMimeData(&files, Qt::CopyAction, -1, 0, {}));
    EXPECT_EQ(store().bundles().size(), 3u); // imported after the drop has returned
    EXPECT_TRUE(QTest::qWaitFor([this] { return store().bundles().size() == 4u; }, 5000));
    EXPECT_EQ(savedShape().back(), (std::pair<std::string, std::vector<std::string>> { "B", { "b1" } }));
    EXPECT_TRUE(list().selectedObjects().front() == BundleListElement(store().bundles().back()));
}

} // namespace
} // namespace quillet

namespace quillet {
namespace {

TEST_F(EditorWindowTest, ShowingTheWindowBringsItBackFromTheMinimisedStateWithTheKeyboard)
{
    QWidget* window = controller->window();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    window->setWindowState(Qt::WindowMinimized);
    ASSERT_TRUE(window->isMinimized());
    controller->showWindow();
    EXPECT_FALSE(window->isMinimized());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
}

TEST_F(EditorWindowTest, SelectingAnExpanderAfterAClickOnTheSelectedRowWritesNothing)
{
    // As after a start: the first bundle is selected, the window is in edit mode.
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller->window()));
    controller->setMode(EditorMode::edit);
    ASSERT_EQ(list().selectedObjects().size(), 1u);
    auto* view = list().outlineView();
    const QModelIndex first = list().model()->indexOf(BundleListElement(bundle(0)));
    const std::size_t savesBefore = saveCount();
    const std::string fileBefore = test::readFile(libraryFile());

    // A click on the selected row opens its name for editing, unchanged.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(first).center());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            auto* field = qobject_cast<QLineEdit*>(QApplication::focusWidget());
            return field && view->isAncestorOf(field);
        },
        5000));
    // Choosing an expander closes that field; the name it held is the bundle's own.
    controller->select(BundleListElement(expander(0, 0)));
    QCoreApplication::processEvents();
    EXPECT_EQ(tabs().selectedTab(), EditorTab::expanderEditor);
    controller->select(BundleListElement(expander(0, 1)));
    QCoreApplication::processEvents();

    EXPECT_EQ(saveCount(), savesBefore);
    EXPECT_EQ(test::readFile(libraryFile()), fileBefore);
}

} // namespace
} // namespace quillet

namespace quillet {
namespace {

TEST_F(EditorWindowTest, AClickOnALanguagesNameTicksItAsAClickOnItsBoxDoes)
{
    SupportedLanguagesViewController chooser;
    chooser.setExpander(expander(0, 0));
    chooser.resize(chooser.sizeHint());
    chooser.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chooser));
    QListView* view = chooser.listView();
    const auto row = [&](const char* name) {
        const auto found = chooser.model()->match(
            chooser.model()->index(0), Qt::DisplayRole, QString::fromLatin1(name), 1, Qt::MatchExactly);
        return found.value(0);
    };
    const auto boxOf = [&](const QModelIndex& index) {
        QStyleOptionViewItem option;
        option.initFrom(view);
        option.rect = view->visualRect(index);
        option.features |= QStyleOptionViewItem::HasCheckIndicator;
        option.checkState = Qt::Unchecked;
        return view->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, view);
    };
    const auto nameOf = [&](const QModelIndex& index) {
        const QRect rect = view->visualRect(index);
        return QPoint(boxOf(index).right() + 40, rect.center().y());
    };
    struct Click {
        const char* language;
        bool onName;
        std::vector<std::string> languagesAfter;
    };
    const Click clicks[] = {
        { "Swift", true, { "any", "swift" } },
        { "Swift", true, { "any" } },
        { "Go", false, { "any", "go" } },
        { "Any Language", true, { "go" } },
    };
    for (const Click& click : clicks) {
        SCOPED_TRACE(std::string(click.language) + (click.onName ? " name" : " box"));
        const QModelIndex index = row(click.language);
        ASSERT_TRUE(index.isValid());
        const QPoint at = click.onName ? nameOf(index) : boxOf(index).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        std::vector<std::string> languages;
        for (const auto& language : expander(0, 0)->supportedLanguages())
            languages.push_back(toUtf8(language->id()));
        EXPECT_EQ(languages, click.languagesAfter);
    }
}

} // namespace
} // namespace quillet
