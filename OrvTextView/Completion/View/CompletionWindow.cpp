#include "OrvTextView/Completion/View/CompletionWindow.h"

#include "OrvTextView/Misc/QtColor.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStandardItemModel>
#include <QVBoxLayout>

namespace orv {

namespace {
constexpr int visibleRows = 8;
constexpr int popupWidth = 260;
constexpr qreal selectionAlpha = 0.2;
constexpr int kindMargin = 6;
constexpr double smallTextContrast = 5.0;
} // namespace

CompletionViewControllerDelegate::~CompletionViewControllerDelegate() = default;

CompletionTableView::CompletionTableView(QWidget* parent)
    : QListView(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    setFrameShape(QFrame::NoFrame);
    setItemDelegate(new CompletionRowView(this));
}

void CompletionTableView::moveSelectionDown()
{
    moveSelection(1);
}

void CompletionTableView::moveSelectionUp()
{
    moveSelection(-1);
}

void CompletionTableView::moveSelection(int step)
{
    if (!model() || model()->rowCount() == 0)
        return;
    const QModelIndex current = selectionModel() ? selectionModel()->currentIndex() : QModelIndex();
    const bool hasSelection = selectionModel() && selectionModel()->hasSelection() && current.isValid();
    const int row = hasSelection ? current.row() + step : 0;
    if (row < 0 || row >= model()->rowCount())
        return;
    const QModelIndex target = model()->index(row, 0);
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
    scrollTo(target);
}

void CompletionRowView::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem plain(option);
    // The ground the row's texts are read on: the list's, under the selection's tint.
    QColor ground = option.palette.color(QPalette::Base).toRgb();
    if (option.state & QStyle::State_Selected) {
        QColor fill = colorFromRgb(QStringLiteral("#459BFF")).value_or(QColor(Qt::blue));
        fill.setAlphaF(selectionAlpha);
        painter->fillRect(option.rect, fill);
        const auto blend = [](float under, float over) { return under + (over - under) * float(selectionAlpha); };
        ground = QColor::fromRgbF(blend(ground.redF(), fill.redF()), blend(ground.greenF(), fill.greenF()),
            blend(ground.blueF(), fill.blueF()));
        // The cell draws as on an unemphasized row: the text keeps its normal colour.
        plain.state &= ~QStyle::State_Selected;
    }
    // Both texts read at 4.5:1 on that ground, in a light look as in a dark one; the list's
    // small letters, smoothed at their edges, are aimed a little higher so that they do.
    const QColor text = option.palette.color(QPalette::Text);
    const QColor strongest = relativeLuminance(ground) < 0.18 ? QColor(Qt::white) : QColor(Qt::black);
    const QColor nameColor = readableColor(text, ground, strongest, smallTextContrast);
    // A translucent placeholder colour is read as it shows, over the ground.
    const QColor placeholder = option.palette.color(QPalette::PlaceholderText).toRgb();
    const auto over = [&](float under, float colour) { return under + (colour - under) * placeholder.alphaF(); };
    const QColor kindShown = QColor::fromRgbF(over(ground.redF(), placeholder.redF()),
        over(ground.greenF(), placeholder.greenF()), over(ground.blueF(), placeholder.blueF()));
    const QColor kindColor = readableColor(kindShown, ground, nameColor, smallTextContrast);
    plain.palette.setColor(QPalette::Text, nameColor);
    plain.state &= ~QStyle::State_HasFocus;
    const QString kind = index.data(kindRole).toString();
    const int kindWidth = kind.isEmpty() ? 0 : QFontMetrics(option.font).horizontalAdvance(kind) + 2 * kindMargin;
    plain.rect.setRight(plain.rect.right() - kindWidth);
    QStyledItemDelegate::paint(painter, plain, index);
    if (kind.isEmpty())
        return;
    painter->save();
    painter->setFont(option.font);
    painter->setPen(kindColor);
    const QRect kindRect = option.rect.adjusted(option.rect.width() - kindWidth, 0, -kindMargin, 0);
    painter->drawText(kindRect, Qt::AlignRight | Qt::AlignVCenter, kind);
    painter->restore();
}

CompletionViewController::CompletionViewController(QWidget* parent)
    : QWidget(parent)
    , m_tableView(new CompletionTableView(this))
    , m_model(new QStandardItemModel(this))
    , m_font(QFont(QString(), 11))
{
    setObjectName(QStringLiteral("CompletionViewController"));
    m_tableView->setObjectName(QStringLiteral("CompletionTableView"));
    m_tableView->setModel(m_model);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_tableView);
    connect(m_tableView, &QListView::doubleClicked, this, &CompletionViewController::applyCompletion);
}

CompletionViewControllerDelegate* CompletionViewController::delegate() const
{
    if (m_delegateIsObject && !m_delegateObject)
        return nullptr;
    return m_delegate;
}

void CompletionViewController::setDelegate(CompletionViewControllerDelegate* delegate)
{
    m_delegate = delegate;
    m_delegateObject = dynamic_cast<QObject*>(delegate);
    m_delegateIsObject = m_delegateObject != nullptr;
}

void CompletionViewController::setFont(const QFont& font)
{
    m_font = font;
    m_tableView->setFont(font);
    reload();
}

void CompletionViewController::setCompletions(std::vector<CompletionPtr> completions)
{
    m_completions = std::move(completions);
    reload();
    Q_EMIT completionsChanged();
}

void CompletionViewController::reload()
{
    m_model->clear();
    for (const auto& completion : m_completions) {
        // A row reads as what choosing it inserts; the kind stands beside it.
        auto* item = new QStandardItem(completion->completion());
        item->setData(completion->label(), CompletionRowView::kindRole);
        item->setData(completion->label(), Qt::AccessibleDescriptionRole);
        item->setEditable(false);
        m_model->appendRow(item);
    }
    if (m_model->rowCount() > 0)
        m_tableView->selectionModel()->setCurrentIndex(m_model->index(0, 0), QItemSelectionModel::ClearAndSelect);
    const int rowHeight = QFontMetrics(m_font).height() + 4;
    const int rows = std::clamp(int(m_completions.size()), 1, visibleRows);
    m_tableView->setMinimumHeight(0);
    if (QWidget* top = window(); top && top != this)
        top->setFixedSize(popupWidth, rows * rowHeight + 2);
}

CompletionPtr CompletionViewController::selectedCompletion() const
{
    const auto* selection = m_tableView->selectionModel();
    if (!selection || !selection->hasSelection())
        return nullptr;
    const auto rows = selection->selectedRows();
    if (rows.isEmpty())
        return nullptr;
    const int row = rows.first().row();
    if (row < 0 || row >= int(m_completions.size()))
        return nullptr;
    return m_completions[std::size_t(row)];
}

void CompletionViewController::completionChosen()
{
    const CompletionPtr chosen = selectedCompletion();
    if (!chosen)
        return;
    if (auto* receiver = delegate())
        receiver->completionViewControllerDidChooseCompletion(this, chosen);
}

void CompletionViewController::applyCompletion()
{
    completionChosen();
    if (QWidget* top = window(); top && top != this)
        top->close();
}

CompletionWindow::CompletionWindow(QWidget* parent)
    : QWidget(parent,
        Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus | Qt::WindowStaysOnTopHint
            | Qt::NoDropShadowWindowHint)
{
    setObjectName(QStringLiteral("CompletionWindow"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
}

CompletionWindowController::CompletionWindowController(QObject* parent)
    : QObject(parent)
    , m_window(std::make_unique<CompletionWindow>())
    , m_content(new CompletionViewController(m_window.get()))
{
    auto* layout = new QVBoxLayout(m_window.get());
    layout->setContentsMargins(1, 1, 1, 1);
    layout->addWidget(m_content);
    m_window->setFixedSize(popupWidth, 40);
}

CompletionWindowController::~CompletionWindowController() = default;

void CompletionWindowController::showWindow()
{
    if (!m_window->isVisible())
        m_window->show();
    m_window->raise();
}

void CompletionWindowController::close()
{
    m_window->close();
}

bool CompletionWindowController::isVisible() const
{
    return m_window->isVisible();
}

} // namespace orv
