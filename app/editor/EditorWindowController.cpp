#include "editor/EditorWindowController.h"

#include "OrvTextView/Misc/WindowFront.h"
#include "docs/views/QtText.h"
#include "editor/BundleListViewController.h"
#include "editor/EditorTabViewController.h"
#include "text/SettingValues.h"

#include <QAction>
#include <QActionEvent>
#include <QApplication>
#include <QButtonGroup>
#include <QHideEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSplitter>
#include <QStandardPaths>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>

#include <memory>
#include <utility>

namespace quillet {

namespace {

const QString windowFrameKey = QStringLiteral("EditorWindowFrame");
const QString splitViewKey = QStringLiteral("EditorSplitViewAutosave");

/// The application's one settings file (Quillet.ini), where every other setting lives too;
/// none when something other than a regular file is in its place (it could block).
std::unique_ptr<QSettings> settings()
{
    const QString file = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/orvanta/Quillet.ini");
    if (!settingvalues::isUsableSettingsPath(file.toStdString()))
        return nullptr;
    return std::make_unique<QSettings>(file, QSettings::IniFormat);
}

/// How long the frame must rest before it is written: a drag moves it many times a second.
constexpr int frameSaveDelayMilliseconds = 500;

/// Escape in a menu opened from the bar by its key (Alt+E) closes the menu and gives the
/// keyboard back to the control that had it, as closing a dialog does; left alone, the bar
/// would keep the focus on its title, where nothing shows it.
class MenuBarEscape final : public QObject {
public:
    explicit MenuBarEscape(QMenuBar* bar)
        : QObject(bar)
        , m_bar(bar)
    {
        for (QAction* action : bar->actions())
            watch(action);
        bar->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_bar && event->type() == QEvent::ActionAdded)
            watch(static_cast<QActionEvent*>(event)->action());
        else if (event->type() == QEvent::KeyPress && qobject_cast<QMenu*>(watched)
            && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
            m_escaped = true;
        return QObject::eventFilter(watched, event);
    }

private:
    void watch(QAction* action)
    {
        QMenu* menu = action ? action->menu() : nullptr;
        if (!menu)
            return;
        menu->installEventFilter(this);
        connect(menu, &QMenu::aboutToHide, this, [this] {
            if (!std::exchange(m_escaped, false))
                return;
            // Once the menu has handed the bar its keyboard mode.
            QTimer::singleShot(0, this, [bar = m_bar] {
                if (bar->hasFocus() && !QApplication::activePopupWidget()) {
                    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                    QCoreApplication::sendEvent(bar, &escape);
                }
            });
        });
    }

    QMenuBar* m_bar;
    bool m_escaped = false;
};

} // namespace

EditorWindow::EditorWindow(QWidget* parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("EditorWindow"));
    setAccessibleName(tr("Quillet Editor"));
}

void EditorWindow::hideEvent(QHideEvent* event)
{
    Q_EMIT aboutToHide();
    QMainWindow::hideEvent(event);
}

void EditorWindow::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    Q_EMIT frameChanged();
}

void EditorWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    Q_EMIT frameChanged();
}

EditorWindowController::EditorWindowController(BundleStore& store, EditorServices services, QObject* parent)
    : QObject(parent)
    , m_store(&store)
{
    setObjectName(QStringLiteral("ExpandersWindowController"));
    const EditorServices completed = services.completed();
    m_window = new EditorWindow;
    m_window->setAttribute(Qt::WA_DeleteOnClose, false);

    m_splitter = new QSplitter(Qt::Horizontal, m_window);
    m_splitter->setObjectName(QStringLiteral("EditorSplitViewId"));
    m_splitter->setChildrenCollapsible(false);
    m_bundleList = new BundleListViewController(store, completed, m_splitter);
    m_tabs = new EditorTabViewController(store, completed, m_splitter);
    m_splitter->addWidget(m_bundleList);
    m_splitter->addWidget(m_tabs);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({ 260, 640 });
    m_window->setCentralWidget(m_splitter);

    // The mode control: documentation or edit.
    m_toolBar = new QToolBar(tr("Mode"), m_window);
    m_toolBar->setObjectName(QStringLiteral("modeToolBar"));
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    m_toolBar->setContextMenuPolicy(Qt::PreventContextMenu);
    auto* spacer = new QWidget(m_toolBar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_toolBar->addWidget(spacer);
    m_modeControl = new QButtonGroup(this);
    m_modeControl->setExclusive(true);
    const std::pair<EditorMode, QString> segments[]
        = { { EditorMode::docs, tr("Documentation") }, { EditorMode::edit, tr("Edit") } };
    for (const auto& [segmentMode, title] : segments) {
        auto* button = new QToolButton(m_toolBar);
        button->setText(title);
        button->setAccessibleName(title);
        button->setObjectName(
            segmentMode == EditorMode::docs ? QStringLiteral("docsModeButton") : QStringLiteral("editModeButton"));
        button->setCheckable(true);
        m_modeControl->addButton(button, static_cast<int>(segmentMode));
        m_modeControlActions.push_back(m_toolBar->addWidget(button));
    }
    m_window->addToolBar(Qt::TopToolBarArea, m_toolBar);
    connect(m_modeControl, &QButtonGroup::idClicked, this, [this](int id) {
        if (auto chosen = editorModeFromRawValue(id))
            setMode(*chosen);
    });

    // The list's commands, in the window's menu: each also answers its shortcut anywhere in
    // the window.
    new MenuBarEscape(m_window->menuBar());
    QMenu* edit = m_window->menuBar()->addMenu(tr("&Edit"));
    edit->setObjectName(QStringLiteral("editMenu"));
    const auto commands = m_bundleList->commands();
    for (std::size_t i = 0; i < commands.size(); ++i) {
        // New bundle, new expander | rename, duplicate, delete | import, export.
        if (i == 2 || i == 5)
            edit->addSeparator();
        edit->addAction(commands[i]);
    }

    auto* toggle = new QAction(tr("Toggle Documentation and Edit"), m_window);
    toggle->setObjectName(QStringLiteral("toggleMode"));
    toggle->setShortcuts(
        { QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Left), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Right),
            // Window managers often take Ctrl+Alt+arrows for workspaces; these they leave alone.
            QKeySequence(Qt::CTRL | Qt::Key_PageUp), QKeySequence(Qt::CTRL | Qt::Key_PageDown) });
    connect(toggle, &QAction::triggered, this, &EditorWindowController::toggleMode);
    m_window->addAction(toggle);

    // Ctrl+W closes the window, as it closes the application's other windows.
    auto* close = new QAction(tr("Close Window"), m_window);
    close->setObjectName(QStringLiteral("closeWindow"));
    QList<QKeySequence> closeKeys = QKeySequence::keyBindings(QKeySequence::Close);
    if (!closeKeys.contains(QKeySequence(Qt::CTRL | Qt::Key_W)))
        closeKeys.prepend(QKeySequence(Qt::CTRL | Qt::Key_W));
    close->setShortcuts(closeKeys);
    close->setShortcutContext(Qt::WindowShortcut);
    connect(close, &QAction::triggered, m_window, &QWidget::close);
    m_window->addAction(close);

    // Typing is saved in bursts; what was typed in one element is written as soon as the user
    // moves on, or closes the window.
    connect(m_bundleList, &BundleListViewController::selectionChanged, this,
        [this](const std::vector<BundleListElement>& selection) {
            m_store->saveChangesNow();
            setSelectedObjects(selection);
        });
    connect(m_window, &EditorWindow::aboutToHide, this, [this] { m_store->saveChangesNow(); });
    connect(m_bundleList, &BundleListViewController::elementAdded, this,
        [this](const BundleListElement&) { setMode(EditorMode::edit); });
    connect(m_bundleList->model(), &QAbstractItemModel::dataChanged, this, &EditorWindowController::updateTitle);
    connect(m_window, &EditorWindow::aboutToHide, this, &EditorWindowController::saveFrame);
    // The frame is also written while the window stays open, so a session that ends without
    // hiding it (a logout, a kill) keeps where the user put it.
    m_frameSaveTimer = new QTimer(this);
    m_frameSaveTimer->setSingleShot(true);
    m_frameSaveTimer->setInterval(frameSaveDelayMilliseconds);
    connect(m_frameSaveTimer, &QTimer::timeout, this, &EditorWindowController::saveFrame);
    auto scheduleFrameSave = [this] {
        if (m_window->isVisible())
            m_frameSaveTimer->start();
    };
    connect(m_window, &EditorWindow::frameChanged, this, scheduleFrameSave);
    connect(m_splitter, &QSplitter::splitterMoved, this, scheduleFrameSave);

    // 900 by 600 where the screen has room for it, smaller on a small screen (placeOnScreen).
    m_window->resize(900, 600);
    if (const auto stored = settings()) {
        m_hasStoredFrame = m_window->restoreGeometry(stored->value(windowFrameKey).toByteArray());
        m_splitter->restoreState(stored->value(splitViewKey).toByteArray());
    }

    setSelectedObjects(m_bundleList->selectedObjects());
}

EditorWindowController::~EditorWindowController()
{
    delete m_window;
}

void EditorWindowController::showWindow()
{
    // Shown where its stored frame puts it, kept whole on the screen (a frame stored on a larger
    // screen is made to fit); the first time, centred and within the screen.
    if (!m_window->isVisible()) {
        if (m_hasStoredFrame)
            orv::keepOnScreen(m_window);
        else
            orv::placeOnScreen(m_window);
    }
    orv::bringToFront(m_window, orv::HiddenWindow::keepPosition);
}

void EditorWindowController::saveFrame()
{
    m_frameSaveTimer->stop();
    if (const auto stored = settings()) {
        stored->setValue(windowFrameKey, m_window->saveGeometry());
        stored->setValue(splitViewKey, m_splitter->saveState());
    }
}

void EditorWindowController::select(const BundleListElement& element)
{
    m_bundleList->select(element);
}

void EditorWindowController::select(const Bundle& bundle)
{
    auto& store = m_bundleList->model()->actions().store();
    for (const auto& held : store.bundles()) {
        if (held.get() == &bundle)
            return select(BundleListElement(held));
    }
}

void EditorWindowController::select(const CustomExpander& expander)
{
    auto& actions = m_bundleList->model()->actions();
    if (auto bundle = actions.bundleOf(expander)) {
        for (const auto& held : bundle->expanders()) {
            if (held.get() == &expander)
                return select(BundleListElement(held));
        }
    }
}

void EditorWindowController::setMode(EditorMode mode)
{
    const bool changed = mode != m_mode;
    m_mode = mode;
    retab();
    if (changed)
        Q_EMIT modeChanged(mode);
}

void EditorWindowController::toggleMode()
{
    setMode(m_mode == EditorMode::edit ? EditorMode::docs : EditorMode::edit);
}

void EditorWindowController::setSelectedObjects(std::vector<BundleListElement> selection)
{
    m_selectedObjects = std::move(selection);
    m_tabs->setBundleListElement(singleSelectedElement(m_selectedObjects));
    retab();
    updateTitle();
}

void EditorWindowController::retab()
{
    m_tabs->setSelectedTab(currentEditorTab());
    m_modeControlHidden = currentEditorTab() == EditorTab::emptySelection;
    // A widget in a tool bar is shown and hidden through its action: the bar's layout
    // shows a hidden widget again when its action is visible.
    for (auto* action : m_modeControlActions)
        action->setVisible(!m_modeControlHidden);
    if (auto* button = m_modeControl->button(static_cast<int>(m_mode)))
        button->setChecked(true);
}

void EditorWindowController::updateTitle()
{
    const auto single = singleSelectedElement(m_selectedObjects);
    m_window->setWindowTitle(single ? qtString(single->name()) : tr("Quillet"));
}

} // namespace quillet
