#include "editor/BundleListModel.h"

#include "docs/views/QtText.h"

#include <QGuiApplication>
#include <QMimeData>
#include <QPalette>
#include <QUrl>

#include <algorithm>
#include <unordered_map>

namespace quillet {

namespace {

// How a list changed from one state to the next, as far as one row signal can say it.
struct ListChange {
    enum Kind { none, insert, remove, move, other } kind = none;
    int from = 0; // insert, remove: the row; move: the row in the old order
    int to = 0; // move: the row in the new order
};

template <typename Pointer> ListChange listChange(const std::vector<Pointer>& old, const std::vector<Pointer>& now)
{
    if (old == now)
        return {};
    const std::size_t shorter = std::min(old.size(), now.size());
    std::size_t prefix = 0;
    while (prefix < shorter && old[prefix] == now[prefix])
        ++prefix;
    std::size_t suffix = 0;
    while (suffix < shorter - prefix && old[old.size() - 1 - suffix] == now[now.size() - 1 - suffix])
        ++suffix;
    const std::size_t oldEnd = old.size() - suffix;
    const std::size_t nowEnd = now.size() - suffix;
    const std::size_t oldMiddle = oldEnd - prefix;
    const std::size_t nowMiddle = nowEnd - prefix;
    const int first = static_cast<int>(prefix);
    if (oldMiddle == 0 && nowMiddle == 1)
        return { ListChange::insert, first, first };
    if (oldMiddle == 1 && nowMiddle == 0)
        return { ListChange::remove, first, first };
    if (oldMiddle == nowMiddle && oldMiddle >= 2) {
        const int last = static_cast<int>(oldEnd - 1);
        // Moved down: the first of the middle went to its end.
        if (old[prefix] == now[oldEnd - 1]
            && std::equal(old.begin() + prefix + 1, old.begin() + oldEnd, now.begin() + prefix))
            return { ListChange::move, first, last };
        // Moved up: the last of the middle went to its start.
        if (old[oldEnd - 1] == now[prefix]
            && std::equal(old.begin() + prefix, old.begin() + oldEnd - 1, now.begin() + prefix + 1))
            return { ListChange::move, last, first };
    }
    return { ListChange::other };
}

} // namespace

struct BundleListModel::BundleNode {
    BundlePtr bundle;
    std::vector<CustomExpanderPtr> expanders;
    Observable::ObserverId bundleObserver = 0;
    std::unordered_map<const CustomExpander*, Observable::ObserverId> expanderObservers;
    int row = 0;
};

const QString& BundleListModel::rowMimeType()
{
    static const QString type = QStringLiteral("com.orvanta.Quillet.BundleListItem");
    return type;
}

BundleListModel::BundleListModel(BundleStore& store, QObject* parent)
    : QAbstractItemModel(parent)
    , m_store(store)
    , m_actions(store)
{
    m_nodes.reserve(store.bundles().size());
    for (const auto& bundle : store.bundles())
        m_nodes.push_back(makeNode(bundle));
    renumber();
    m_storeObserver = m_store.addObserver([this](Observable::Property property, Observable::Phase phase) {
        if (phase == Observable::Phase::didChange && property == Observable::Property::bundles)
            syncBundles();
    });
}

BundleListModel::~BundleListModel()
{
    m_store.removeObserver(m_storeObserver);
    for (auto& node : m_nodes)
        unwatchBundle(*node);
}

std::unique_ptr<BundleListModel::BundleNode> BundleListModel::makeNode(const BundlePtr& bundle)
{
    auto node = std::make_unique<BundleNode>();
    node->bundle = bundle;
    node->expanders = bundle->expanders();
    watchBundle(*node);
    return node;
}

void BundleListModel::watchBundle(BundleNode& node)
{
    BundleNode* watched = &node;
    node.bundleObserver = node.bundle->addObserver([this, watched](
                                                       Observable::Property property, Observable::Phase phase) {
        if (phase != Observable::Phase::didChange)
            return;
        if (property == Observable::Property::expanders) {
            syncExpanders(*watched);
        } else if (property == Observable::Property::name || property == Observable::Property::isEnabled) {
            const QModelIndex changed = createIndex(watched->row, 0, nullptr);
            Q_EMIT dataChanged(changed, changed);
            // The expanders of a switched-off bundle are shown switched off with it.
            if (property == Observable::Property::isEnabled && !watched->expanders.empty()) {
                const int last = static_cast<int>(watched->expanders.size()) - 1;
                Q_EMIT dataChanged(createIndex(0, 0, watched), createIndex(last, 0, watched), { Qt::ForegroundRole });
            }
        }
    });
    node.expanderObservers.reserve(node.expanders.size());
    for (const auto& expander : node.expanders)
        node.expanderObservers.emplace(expander.get(), watchExpander(node, expander));
}

Observable::ObserverId BundleListModel::watchExpander(BundleNode& node, const CustomExpanderPtr& expander)
{
    BundleNode* watched = &node;
    const CustomExpander* object = expander.get();
    return expander->addObserver([this, watched, object](Observable::Property property, Observable::Phase phase) {
        if (phase != Observable::Phase::didChange
            || (property != Observable::Property::name && property != Observable::Property::isEnabled))
            return;
        const auto found = std::find_if(watched->expanders.begin(), watched->expanders.end(),
            [object](const auto& each) { return each.get() == object; });
        if (found == watched->expanders.end())
            return;
        const QModelIndex changed = createIndex(static_cast<int>(found - watched->expanders.begin()), 0, watched);
        Q_EMIT dataChanged(changed, changed);
    });
}

void BundleListModel::unwatchBundle(BundleNode& node)
{
    node.bundle->removeObserver(node.bundleObserver);
    for (const auto& expander : node.expanders) {
        const auto found = node.expanderObservers.find(expander.get());
        if (found != node.expanderObservers.end())
            expander->removeObserver(found->second);
    }
    node.expanderObservers.clear();
}

void BundleListModel::renumber()
{
    for (std::size_t row = 0; row < m_nodes.size(); ++row)
        m_nodes[row]->row = static_cast<int>(row);
}

void BundleListModel::syncBundles()
{
    std::vector<BundlePtr> old;
    old.reserve(m_nodes.size());
    for (const auto& node : m_nodes)
        old.push_back(node->bundle);
    const auto& now = m_store.bundles();
    const ListChange change = listChange(old, now);
    switch (change.kind) {
    case ListChange::none:
        return;
    case ListChange::insert:
        beginInsertRows({}, change.from, change.from);
        m_nodes.insert(m_nodes.begin() + change.from, makeNode(now[change.from]));
        renumber();
        endInsertRows();
        return;
    case ListChange::remove: {
        beginRemoveRows({}, change.from, change.from);
        auto node = std::move(m_nodes[change.from]);
        m_nodes.erase(m_nodes.begin() + change.from);
        unwatchBundle(*node);
        renumber();
        endRemoveRows();
        return;
    }
    case ListChange::move: {
        const int destination = change.to > change.from ? change.to + 1 : change.to;
        beginMoveRows({}, change.from, change.from, {}, destination);
        auto node = std::move(m_nodes[change.from]);
        m_nodes.erase(m_nodes.begin() + change.from);
        m_nodes.insert(m_nodes.begin() + change.to, std::move(node));
        renumber();
        endMoveRows();
        return;
    }
    case ListChange::other:
        break;
    }
    beginResetModel();
    for (auto& node : m_nodes)
        unwatchBundle(*node);
    m_nodes.clear();
    for (const auto& bundle : now)
        m_nodes.push_back(makeNode(bundle));
    renumber();
    endResetModel();
}

void BundleListModel::syncExpanders(BundleNode& node)
{
    const QModelIndex parent = createIndex(node.row, 0, nullptr);
    const auto& now = node.bundle->expanders();
    const ListChange change = listChange(node.expanders, now);
    switch (change.kind) {
    case ListChange::none:
        return;
    case ListChange::insert:
        beginInsertRows(parent, change.from, change.from);
        node.expanders.insert(node.expanders.begin() + change.from, now[change.from]);
        node.expanderObservers.emplace(now[change.from].get(), watchExpander(node, now[change.from]));
        endInsertRows();
        return;
    case ListChange::remove: {
        beginRemoveRows(parent, change.from, change.from);
        const auto expander = node.expanders[change.from];
        node.expanders.erase(node.expanders.begin() + change.from);
        if (const auto found = node.expanderObservers.find(expander.get()); found != node.expanderObservers.end()) {
            expander->removeObserver(found->second);
            node.expanderObservers.erase(found);
        }
        endRemoveRows();
        return;
    }
    case ListChange::move: {
        const int destination = change.to > change.from ? change.to + 1 : change.to;
        beginMoveRows(parent, change.from, change.from, parent, destination);
        auto expander = node.expanders[change.from];
        node.expanders.erase(node.expanders.begin() + change.from);
        node.expanders.insert(node.expanders.begin() + change.to, std::move(expander));
        endMoveRows();
        return;
    }
    case ListChange::other:
        break;
    }
    // Anything else replaces the bundle's rows, leaving the other bundles' rows alone.
    if (!node.expanders.empty()) {
        beginRemoveRows(parent, 0, static_cast<int>(node.expanders.size()) - 1);
        for (const auto& expander : node.expanders) {
            if (const auto found = node.expanderObservers.find(expander.get()); found != node.expanderObservers.end())
                expander->removeObserver(found->second);
        }
        node.expanderObservers.clear();
        node.expanders.clear();
        endRemoveRows();
    }
    if (!now.empty()) {
        beginInsertRows(parent, 0, static_cast<int>(now.size()) - 1);
        node.expanders = now;
        for (const auto& expander : node.expanders)
            node.expanderObservers.emplace(expander.get(), watchExpander(node, expander));
        endInsertRows();
    }
}

std::optional<BundleListElement> BundleListModel::elementAt(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this)
        return std::nullopt;
    if (const auto* node = static_cast<const BundleNode*>(index.internalPointer())) {
        if (index.row() < 0 || index.row() >= static_cast<int>(node->expanders.size()))
            return std::nullopt;
        return BundleListElement(node->expanders[index.row()]);
    }
    if (index.row() < 0 || index.row() >= static_cast<int>(m_nodes.size()))
        return std::nullopt;
    return BundleListElement(m_nodes[index.row()]->bundle);
}

QModelIndex BundleListModel::indexOf(const BundleListElement& element) const
{
    for (const auto& node : m_nodes) {
        if (element.object() == node->bundle.get())
            return createIndex(node->row, 0, nullptr);
        if (element.isExpander()) {
            const auto found = std::find(node->expanders.begin(), node->expanders.end(), element.expander());
            if (found != node->expanders.end())
                return createIndex(static_cast<int>(found - node->expanders.begin()), 0, node.get());
        }
    }
    return {};
}

QModelIndex BundleListModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0)
        return {};
    if (!parent.isValid())
        return row < static_cast<int>(m_nodes.size()) ? createIndex(row, 0, nullptr) : QModelIndex();
    if (parent.internalPointer() || parent.row() >= static_cast<int>(m_nodes.size()))
        return {};
    BundleNode* node = m_nodes[parent.row()].get();
    return row < static_cast<int>(node->expanders.size()) ? createIndex(row, 0, node) : QModelIndex();
}

QModelIndex BundleListModel::parent(const QModelIndex& child) const
{
    if (!child.isValid())
        return {};
    const auto* node = static_cast<const BundleNode*>(child.internalPointer());
    return node ? createIndex(node->row, 0, nullptr) : QModelIndex();
}

int BundleListModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return static_cast<int>(m_nodes.size());
    if (parent.column() != 0 || parent.internalPointer() || parent.row() >= static_cast<int>(m_nodes.size()))
        return 0;
    return static_cast<int>(m_nodes[parent.row()]->expanders.size());
}

int BundleListModel::columnCount(const QModelIndex& /*parent*/) const
{
    return 1;
}

bool BundleListModel::hasChildren(const QModelIndex& parent) const
{
    return rowCount(parent) > 0;
}

QVariant BundleListModel::data(const QModelIndex& index, int role) const
{
    const auto element = elementAt(index);
    if (!element)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return qtString(element->name());
    case Qt::CheckStateRole: {
        const bool enabled = element->isBundle() ? element->bundle()->isEnabled() : element->expander()->isEnabled();
        return enabled ? Qt::Checked : Qt::Unchecked;
    }
    case Qt::ForegroundRole: {
        // Switched-off rows stay selectable and editable but read as inactive: an expander
        // is inactive when it or its bundle is switched off.
        const BundleNode* node = static_cast<const BundleNode*>(index.internalPointer());
        const bool active = element->isBundle() ? element->bundle()->isEnabled()
                                                : element->expander()->isEnabled() && node->bundle->isEnabled();
        if (active)
            return {};
        return QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text);
    }
    case Qt::ToolTipRole:
        return element->isBundle() ? qtString(element->bundle()->bundleDescription())
                                   : qtString(element->expander()->pattern());
    case isBundleRole:
        return element->isBundle();
    default:
        return {};
    }
}

bool BundleListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    const auto element = elementAt(index);
    if (!element)
        return false;
    if (role == Qt::EditRole) {
        const icu::UnicodeString name = icuString(value.toString());
        // A name editor closed without a change (by selecting another row) writes nothing.
        if (name == element->name())
            return true;
        if (auto bundle = element->bundle()) {
            if (Bundle::validateName(name))
                return false;
            bundle->setName(name);
        } else {
            if (CustomExpander::validateName(name))
                return false;
            element->expander()->setName(name);
        }
        return true;
    }
    if (role == Qt::CheckStateRole) {
        const bool enabled = value.toInt() == Qt::Checked;
        const bool wasEnabled = element->isBundle() ? element->bundle()->isEnabled() : element->expander()->isEnabled();
        if (enabled == wasEnabled)
            return true;
        if (auto bundle = element->bundle())
            bundle->setEnabled(enabled);
        else
            element->expander()->setEnabled(enabled);
        return true;
    }
    return false;
}

Qt::ItemFlags BundleListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable | Qt::ItemIsUserCheckable
        | Qt::ItemIsDragEnabled;
    if (!index.internalPointer())
        flags |= Qt::ItemIsDropEnabled;
    else
        flags |= Qt::ItemNeverHasChildren;
    return flags;
}

QStringList BundleListModel::mimeTypes() const
{
    return { rowMimeType(), QStringLiteral("text/uri-list") };
}

QMimeData* BundleListModel::mimeData(const QModelIndexList& indexes) const
{
    // Only the first dragged row moves; nothing of it is written: the drop takes it from here.
    const auto element = indexes.isEmpty() ? std::nullopt : elementAt(indexes.front());
    m_draggingElement = element ? WeakBundleListElement(*element) : WeakBundleListElement();
    auto* data = new QMimeData;
    data->setData(rowMimeType(), {});
    return data;
}

Qt::DropActions BundleListModel::supportedDragActions() const
{
    return Qt::MoveAction;
}

Qt::DropActions BundleListModel::supportedDropActions() const
{
    return Qt::MoveAction | Qt::CopyAction | Qt::LinkAction;
}

int BundleListModel::levelOfIndex(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return rootLevel;
    return parent.internalPointer() ? expanderLevel : bundleLevel;
}

std::vector<QString> BundleListModel::bundleFilePaths(const QMimeData* data)
{
    std::vector<QString> paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile() || !url.toLocalFile().endsWith(QStringLiteral(".qlbundle"), Qt::CaseInsensitive))
            return {};
        paths.push_back(url.toLocalFile());
    }
    return paths;
}

bool BundleListModel::canDropMimeData(
    const QMimeData* data, Qt::DropAction /*action*/, int row, int /*column*/, const QModelIndex& parent) const
{
    if (!data)
        return false;
    if (data->hasFormat(rowMimeType())) {
        const auto dragged = m_draggingElement.lock();
        const int draggedLevel = dragged ? m_actions.levelOf(*dragged) : rootLevel;
        // Below the last row the view proposes the root itself: for a bundle that is the end.
        if (!parent.isValid() && row == -1 && draggedLevel == bundleLevel)
            row = rowCount();
        return canDropBundleListRow(draggedLevel, levelOfIndex(parent), row);
    }
    return !bundleFilePaths(data).empty();
}

bool BundleListModel::dropMimeData(
    const QMimeData* data, Qt::DropAction action, int row, int column, const QModelIndex& parent)
{
    if (!canDropMimeData(data, action, row, column, parent))
        return false;
    if (!data->hasFormat(rowMimeType())) {
        QStringList paths;
        for (const auto& path : bundleFilePaths(data))
            paths.push_back(path);
        Q_EMIT bundleFilesDropped(paths);
        return true;
    }
    const auto dragged = *m_draggingElement.lock();
    bool moved = false;
    if (auto bundle = dragged.bundle())
        moved = m_actions.moveBundle(bundle, row == -1 ? rowCount() : row);
    else if (auto target = elementAt(parent); target && target->isBundle())
        moved = m_actions.moveExpander(dragged.expander(), target->bundle(), row);
    if (moved)
        Q_EMIT elementMoved(dragged);
    return moved;
}

} // namespace quillet
