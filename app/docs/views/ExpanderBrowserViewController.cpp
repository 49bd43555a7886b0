#include "docs/views/ExpanderBrowserViewController.h"

#include "OrvTextView/Misc/DelayedActionController.h"
#include "OrvTextView/Shortcut/Shortcut.h"
#include "docs/views/PageStyle.h"
#include "docs/views/QtText.h"
#include "library/App.h"
#include "library/BundleStore.h"

#include <QAbstractTextDocumentLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QVBoxLayout>

#include <utility>

namespace quillet {

namespace {

std::vector<CustomExpanderPtr> libraryEnabledExpanders()
{
    return App::shared().bundleStore().enabledExpanders();
}

} // namespace

// MARK: - SearchField

SearchField::SearchField(QWidget* parent)
    : QLineEdit(parent)
{
    setPlaceholderText(tr("Search expanders"));
    setAccessibleName(tr("Search expanders"));
    setClearButtonEnabled(true);
    setFrame(false);
    QFont larger = font();
    larger.setPointSizeF(larger.pointSizeF() * 1.4);
    setFont(larger);
}

// MARK: - ExpanderListModel

void ExpanderListModel::setExpanders(std::vector<CustomExpanderPtr> expanders)
{
    beginResetModel();
    m_expanders = std::move(expanders);
    m_pages.assign(m_expanders.size(), std::nullopt);
    endResetModel();
}

CustomExpanderPtr ExpanderListModel::expanderAt(int row) const
{
    if (row < 0 || static_cast<std::size_t>(row) >= m_expanders.size())
        return nullptr;
    return m_expanders[static_cast<std::size_t>(row)];
}

int ExpanderListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_expanders.size());
}

QVariant ExpanderListModel::data(const QModelIndex& index, int role) const
{
    const CustomExpanderPtr expander = index.isValid() ? expanderAt(index.row()) : nullptr;
    if (!expander)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return qtString(expander->name());
    case Qt::ToolTipRole:
        return qtString(expander->pattern());
    case PatternHTMLRole: {
        auto& page = m_pages[static_cast<std::size_t>(index.row())];
        if (!page)
            page = qtString(expander->patternHTML());
        return *page;
    }
    default:
        return {};
    }
}

// MARK: - ExpanderTableView

ExpanderTableView::ExpanderTableView(QWidget* parent)
    : QListView(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true); // ten thousand rows lay out without asking each one
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setAccessibleName(tr("Expanders"));
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
}

int ExpanderTableView::selectedRow() const
{
    if (!selectionModel())
        return -1;
    const QModelIndexList rows = selectionModel()->selectedIndexes();
    return rows.isEmpty() ? -1 : rows.front().row();
}

void ExpanderTableView::selectNext()
{
    if (!model() || model()->rowCount() == 0)
        return;
    const int row = selectedRow();
    if (row < 0)
        selectRow(0);
    else if (row + 1 < model()->rowCount())
        selectRow(row + 1);
}

void ExpanderTableView::selectPrevious()
{
    if (!model() || model()->rowCount() == 0)
        return;
    const int row = selectedRow();
    if (row < 0)
        selectRow(0);
    else if (row > 0)
        selectRow(row - 1);
}

void ExpanderTableView::selectRow(int row)
{
    if (!model() || !selectionModel() || row < 0 || row >= model()->rowCount())
        return;
    const QModelIndex index = model()->index(row, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    scrollTo(index);
}

// MARK: - ExpanderBrowserCell

ExpanderBrowserCell::ExpanderBrowserCell(QObject* parent)
    : QStyledItemDelegate(parent)
    , m_documents(64)
    , m_shownPages(256)
{
}

QColor ExpanderBrowserCell::selectionColor()
{
    QColor color(0x45, 0x9B, 0xFF);
    color.setAlphaF(0.2f);
    return color;
}

QTextDocument* ExpanderBrowserCell::document(const QString& html, int width) const
{
    QTextDocument* document = m_documents.object(html);
    if (!document) {
        document = new QTextDocument;
        document->setDocumentMargin(0);
        document->setHtml(html);
        m_documents.insert(html, document);
    }
    if (document->textWidth() != width)
        document->setTextWidth(width);
    return document;
}

const QTextDocument* ExpanderBrowserCell::rowDocument(
    const QModelIndex& index, const QPalette& palette, int width) const
{
    // The row stands on the window's base colour, or on the selection laid over it.
    const QColor base = palette.color(QPalette::Base);
    const QString paletteKey = base.name() + palette.color(QPalette::Text).name();
    if (paletteKey != m_shownPagesPalette) {
        m_shownPages.clear();
        m_shownPagesPalette = paletteKey;
    }
    const QString html = index.data(ExpanderListModel::PatternHTMLRole).toString();
    QString* shown = m_shownPages.object(html);
    if (!shown) {
        QColor selected = selectionColor();
        const double alpha = selected.alphaF();
        selected = QColor::fromRgbF(float(base.redF() * (1 - alpha) + selected.redF() * alpha),
            float(base.greenF() * (1 - alpha) + selected.greenF() * alpha),
            float(base.blueF() * (1 - alpha) + selected.blueF() * alpha));
        shown = new QString(PageStyle(palette, { selected }).page(richTextPage(html)));
        m_shownPages.insert(html, shown);
    }
    return document(*shown, width);
}

void ExpanderBrowserCell::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    painter->save();
    const QRect bounds = option.rect;
    if (option.state & QStyle::State_Selected)
        painter->fillRect(bounds, selectionColor());
    painter->setClipRect(bounds);
    painter->translate(bounds.topLeft());
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = QRectF(0, 0, bounds.width(), bounds.height());
    context.palette = option.palette; // text without a colour of its own
    rowDocument(index, option.palette, bounds.width())->documentLayout()->draw(painter, context);
    painter->restore();
}

QSize ExpanderBrowserCell::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return { option.rect.width(), rowHeight };
}

// MARK: - ExpanderBrowserViewController

ExpanderBrowserViewController::ExpanderBrowserViewController(ExpanderSource source, QWidget* parent)
    : QWidget(parent)
    , m_source(source ? std::move(source) : ExpanderSource(libraryEnabledExpanders))
{
    setAccessibleName(tr("Expander browser"));
    m_searchField = new SearchField(this);
    m_tableView = new ExpanderTableView(this);
    m_model = new ExpanderListModel(this);
    m_tableView->setModel(m_model);
    m_tableView->setItemDelegate(new ExpanderBrowserCell(m_tableView));
    m_tableView->setFocusPolicy(Qt::ClickFocus);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* fieldBox = new QVBoxLayout;
    fieldBox->setContentsMargins(12, 10, 12, 10);
    fieldBox->addWidget(m_searchField);
    layout->addLayout(fieldBox);
    layout->addWidget(m_tableView, 1);

    connect(
        m_searchField, &QLineEdit::textEdited, this, [this](const QString& text) { setSearchText(icuString(text)); });
    connect(m_tableView, &QAbstractItemView::activated, this, [this] { openSelectedExpander(); });
    installKeyboardHandling();
}

ExpanderBrowserViewController::~ExpanderBrowserViewController() = default;

void ExpanderBrowserViewController::setSearchText(std::optional<icu::UnicodeString> text)
{
    const std::optional<icu::UnicodeString> previous = std::exchange(m_searchText, std::move(text));
    const QString shown = m_searchText ? qtString(*m_searchText) : QString();
    if (m_searchField->text() != shown)
        m_searchField->setText(shown);
    if (!searchTextChangeNeedsFiltering(previous, m_searchText))
        return;
    if (!m_searchTextUpdateController) {
        QPointer<ExpanderBrowserViewController> self(this);
        m_searchTextUpdateController = new orv::DelayedActionController(
            searchDelay,
            [self] {
                // Two waits that both end late would each run; the first one filters for both.
                if (self && self->m_filterPending)
                    self->filterExpanders();
            },
            this);
    }
    // A burst of keystrokes filters once, after the last.
    m_filterPending = true;
    m_searchTextUpdateController->perform();
}

void ExpanderBrowserViewController::filterExpanders()
{
    m_filterPending = false;
    m_model->setExpanders(m_search.search(m_source(), browserSearchText(m_searchText)));
    // The best match is chosen already: Return opens it without a trip to the arrow keys.
    m_tableView->selectRow(0);
    Q_EMIT expandersFiltered();
}

void ExpanderBrowserViewController::openSelectedExpander()
{
    const CustomExpanderPtr expander = m_model->expanderAt(m_tableView->selectedRow());
    if (expander && m_delegate)
        m_delegate->openExpander(*this, *expander);
}

void ExpanderBrowserViewController::closeBrowser()
{
    // On this desktop closing the window is enough: the window manager gives the focus back
    // to the window the user worked in before, whether or not the editor window is open.
    window()->close();
}

bool ExpanderBrowserViewController::isActiveBrowser() const
{
    const QWidget* browserWindow = window();
    return browserWindow->isVisible() && browserWindow->isActiveWindow();
}

bool ExpanderBrowserViewController::handleReturnKey()
{
    if (!isActiveBrowser())
        return false;
    openSelectedExpander();
    return true;
}

bool ExpanderBrowserViewController::handleEscapeKey()
{
    if (!isActiveBrowser())
        return false;
    closeBrowser();
    return true;
}

void ExpanderBrowserViewController::installKeyboardHandling()
{
    // Return and Escape without modifiers, seen before any widget of the application sees
    // them. The handlers take them only while the browser is the active window; the
    // registrations outlive a browser, so they hold it weakly.
    QPointer<ExpanderBrowserViewController> self(this);
    auto& monitor = orv::ShortcutMonitor::instance();
    monitor.handleLocalShortcut(orv::Shortcut(36), [self] { return self && self->handleReturnKey(); });
    monitor.handleLocalShortcut(orv::Shortcut(53), [self] { return self && self->handleEscapeKey(); });
    m_searchField->installEventFilter(this);
}

bool ExpanderBrowserViewController::eventFilter(QObject* watched, QEvent* event)
{
    // Up and Down move the list's selection while typing goes to the search field, whatever
    // modifiers are held; with the list focused the list moves its own selection.
    if (watched == m_searchField && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up) {
            m_tableView->selectPrevious();
            return true;
        }
        if (key == Qt::Key_Down) {
            m_tableView->selectNext();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ExpanderBrowserViewController::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    viewWillAppear();
}

void ExpanderBrowserViewController::viewWillAppear()
{
    filterExpanders();
    m_searchField->setFocus(Qt::OtherFocusReason);
    // The kept search text comes back selected, so typing replaces it rather than adding to it.
    m_searchField->selectAll();
}

} // namespace quillet
