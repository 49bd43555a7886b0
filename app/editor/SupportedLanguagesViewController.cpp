#include "editor/SupportedLanguagesViewController.h"

#include "OrvTextView/Misc/QtColor.h"
#include "docs/views/QtText.h"
#include "editor/VariablePopover.h"
#include "languages/ProgrammingLanguageStore.h"

#include <QApplication>
#include <QKeyEvent>
#include <QListView>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace quillet {

ProgrammingLanguageList BundleLanguagesHolder::supportedLanguages() const
{
    auto bundle = m_bundle.lock();
    return bundle ? bundle->supportedLanguages() : ProgrammingLanguageList {};
}

void BundleLanguagesHolder::setSupportedLanguages(const ProgrammingLanguageList& languages)
{
    auto bundle = m_bundle.lock();
    if (!bundle)
        return;
    std::vector<ProgrammingLanguageContainer> containers;
    for (const auto& container : bundle->supportedLanguageContainers()) {
        if (!container.programmingLanguage)
            containers.push_back(container);
    }
    for (const auto& language : languages)
        containers.emplace_back(language);
    bundle->setSupportedLanguageContainers(std::move(containers));
}

SupportedLanguagesModel::SupportedLanguagesModel(QObject* parent)
    : QAbstractListModel(parent)
{
}

void SupportedLanguagesModel::setHolder(std::shared_ptr<SupportedLanguagesHolder> holder)
{
    beginResetModel();
    m_holder = std::move(holder);
    m_rows.clear();
    if (m_holder) {
        for (const auto& language : ProgrammingLanguageStore::shared().allLanguages())
            m_rows.push_back(std::make_unique<ProgrammingLanguageCocoaAdapter>(language, m_holder));
        // Plain code-unit order of the names: "JSON" before "Java".
        std::stable_sort(
            m_rows.begin(), m_rows.end(), [](const auto& a, const auto& b) { return a->name() < b->name(); });
    }
    endResetModel();
}

void SupportedLanguagesModel::refresh()
{
    if (!m_rows.empty())
        Q_EMIT dataChanged(index(0), index(static_cast<int>(m_rows.size()) - 1), { Qt::CheckStateRole });
}

int SupportedLanguagesModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QVariant SupportedLanguagesModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= static_cast<int>(m_rows.size()))
        return {};
    const auto& row = *m_rows[index.row()];
    if (role == Qt::DisplayRole)
        return qtString(row.name());
    if (role == Qt::CheckStateRole)
        return row.chosen() ? Qt::Checked : Qt::Unchecked;
    return {};
}

bool SupportedLanguagesModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid() || index.row() >= static_cast<int>(m_rows.size()))
        return false;
    m_rows[index.row()]->setChosen(value.toInt() == Qt::Checked);
    Q_EMIT dataChanged(index, index, { Qt::CheckStateRole });
    return true;
}

Qt::ItemFlags SupportedLanguagesModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemNeverHasChildren;
}

namespace {

/// Gives every language row the chooser's row height.
class LanguageRowDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QSize size = QStyledItemDelegate::sizeHint(option, index);
        return { size.width(),
            std::max(size.height(), SupportedLanguagesViewController::rowHeight(option.fontMetrics)) };
    }

    /// The current row keeps the look's highlight, with its name in a colour that reads on it
    /// at 4.5:1: white letters on a light highlight (Breeze's) do not.
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem row(option);
        if (option.state & QStyle::State_Selected) {
            const QPalette::ColorGroup group
                = option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
            // A translucent highlight is read as it shows, over the list's ground.
            const QColor bar = option.palette.color(group, QPalette::Highlight).toRgb();
            const QColor base = option.palette.color(group, QPalette::Base).toRgb();
            const auto over = [&](float under, float colour) { return under + (colour - under) * bar.alphaF(); };
            const QColor ground = QColor::fromRgbF(
                over(base.redF(), bar.redF()), over(base.greenF(), bar.greenF()), over(base.blueF(), bar.blueF()));
            // The row is drawn on that ground as an unselected one, so that its box keeps its
            // look, in the first colour that reads there: the look's own for a highlight, its
            // text colour, or else black or white (small smoothed letters never show their whole
            // colour, so one only just at the bar would draw below it).
            QColor text = option.palette.color(group, QPalette::HighlightedText);
            if (orv::contrastRatio(text, ground) < 4.5)
                text = option.palette.color(group, QPalette::Text);
            if (orv::contrastRatio(text, ground) < 4.5)
                text = orv::contrastRatio(Qt::black, ground) > orv::contrastRatio(Qt::white, ground) ? Qt::black
                                                                                                     : Qt::white;
            painter->fillRect(option.rect, ground);
            row.state &= ~QStyle::State_Selected;
            row.palette.setColor(group, QPalette::Text, text);
        }
        QStyledItemDelegate::paint(painter, row, index);
    }

protected:
    /// A click on a language's name ticks or unticks it, as a click on its box does.
    bool editorEvent(
        QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option, const QModelIndex& index) override
    {
        if (event->type() == QEvent::MouseButtonRelease && model && index.isValid()) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const QPoint at = mouse->position().toPoint();
            if (mouse->button() == Qt::LeftButton && option.rect.contains(at)
                && !checkBoxRect(option, index).contains(at)) {
                const bool checked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
                return model->setData(index, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
            }
        }
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    }

private:
    QRect checkBoxRect(const QStyleOptionViewItem& option, const QModelIndex& index) const
    {
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        const QStyle* style = item.widget ? item.widget->style() : QApplication::style();
        return style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &item, item.widget);
    }
};

} // namespace

int SupportedLanguagesViewController::rowHeight(const QFontMetrics& metrics)
{
    return std::max(22, metrics.height() + 8);
}

QSize SupportedLanguagesViewController::sizeHint() const
{
    // Every language is always listed, so the size does not wait for the rows.
    const auto& languages = ProgrammingLanguageStore::shared().allLanguages();
    const QFontMetrics metrics = m_listView->fontMetrics();
    int widestName = 0;
    for (const auto& language : languages)
        widestName = std::max(widestName, metrics.horizontalAdvance(qtString(language->name())));
    const QStyle* style = m_listView->style();
    const int frame = 2 * m_listView->frameWidth();
    const int checkBox = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, m_listView)
        + 4 * style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_listView) + 8;
    const int width = std::max(220, frame + checkBox + widestName + 16);
    const int height = frame + static_cast<int>(languages.size()) * rowHeight(metrics);
    return { width, height };
}

SupportedLanguagesViewController::SupportedLanguagesViewController(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("SupportedLanguagesViewController"));
    m_model = new SupportedLanguagesModel(this);
    m_listView = new QListView(this);
    m_listView->setObjectName(QStringLiteral("supportedLanguagesList"));
    m_listView->setAccessibleName(tr("Supported languages"));
    m_listView->setModel(m_model);
    m_listView->setUniformItemSizes(true);
    m_listView->setItemDelegate(new LanguageRowDelegate(m_listView));
    m_listView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_listView->setFocusPolicy(Qt::StrongFocus);
    m_listView->installEventFilter(this);
    setFocusProxy(m_listView);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_listView);
}

SupportedLanguagesViewController::~SupportedLanguagesViewController()
{
    stopObserving();
}

SupportedLanguagesViewController* SupportedLanguagesViewController::openedBy(QToolButton* button)
{
    auto* chooser = new SupportedLanguagesViewController;
    chooser->setAccessibleName(tr("Supported languages"));
    auto* popover = new VariablePopover(chooser, button);
    popover->setObjectName(QStringLiteral("languagesPopover"));
    QObject::connect(button, &QToolButton::clicked, popover, [popover, button] {
        if (!popover->isVisible())
            popover->showRelativeTo(button->rect(), button);
    });
    return chooser;
}

void SupportedLanguagesViewController::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    takeFocus();
    // The menu that holds the chooser settles its own focus once it is up: take it after.
    QTimer::singleShot(0, this, [this] {
        if (isVisible())
            takeFocus();
    });
}

void SupportedLanguagesViewController::takeFocus()
{
    if (!m_listView->currentIndex().isValid() && m_model->rowCount() > 0) {
        // The first ticked language, else the first row.
        QModelIndex first = m_model->index(0);
        for (int row = 0; row < m_model->rowCount(); ++row) {
            if (m_model->index(row).data(Qt::CheckStateRole).toInt() == Qt::Checked) {
                first = m_model->index(row);
                break;
            }
        }
        m_listView->setCurrentIndex(first);
    }
    m_listView->setFocus(Qt::PopupFocusReason);
}

bool SupportedLanguagesViewController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_listView && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            // Every tick is already written: closing keeps them all.
            window()->close();
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SupportedLanguagesViewController::stopObserving()
{
    if (auto observed = m_observed.lock())
        observed->removeObserver(m_observer);
    m_observed.reset();
}

void SupportedLanguagesViewController::setExpander(const CustomExpanderPtr& expander)
{
    stopObserving();
    if (expander) {
        m_observed = expander;
        m_observer = expander->addObserver([this](Observable::Property property, Observable::Phase phase) {
            if (phase == Observable::Phase::didChange && property == Observable::Property::supportedLanguagesString)
                m_model->refresh();
        });
    }
    m_model->setHolder(expander);
}

void SupportedLanguagesViewController::setBundle(const BundlePtr& bundle)
{
    stopObserving();
    if (bundle) {
        m_observed = bundle;
        m_observer = bundle->addObserver([this](Observable::Property property, Observable::Phase phase) {
            if (phase == Observable::Phase::didChange && property == Observable::Property::supportedLanguagesString)
                m_model->refresh();
        });
    }
    m_model->setHolder(bundle ? std::make_shared<BundleLanguagesHolder>(bundle) : nullptr);
}

void SupportedLanguagesViewController::setHolder(std::shared_ptr<SupportedLanguagesHolder> holder)
{
    stopObserving();
    m_model->setHolder(std::move(holder));
}

} // namespace quillet
