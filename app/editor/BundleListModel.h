#pragma once

#include "editor/BundleListActions.h"
#include "library/BundleListElement.h"
#include "library/BundleStore.h"
#include "library/Observable.h"

#include <QAbstractItemModel>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace quillet {

/// The library as the two-level tree of the bundle list: bundles on the top level in
/// library order, each bundle's expanders below it.
///
/// The rows are the library's own objects. The model watches the store and every bundle and
/// expander it shows, and turns each change, from this window or from anywhere else (an
/// imported file, the D-Bus interface), into the exact row signals (insert, remove, move,
/// data), so a view keeps its selection. Names are edited in place (an empty name is
/// refused), the check box is the enabled flag, and rows are moved by drag and drop under
/// the drop rules of canDropBundleListRow; bundle files dropped from a file manager are
/// handed on through bundleFilesDropped. Main thread only.
class BundleListModel final : public QAbstractItemModel {
    Q_OBJECT
public:
    /// The drag type of the list's own rows; its data is empty, the dragged row is remembered.
    static const QString& rowMimeType();
    /// True for a row that holds a bundle, false for an expander.
    static constexpr int isBundleRole = Qt::UserRole + 1;

    explicit BundleListModel(BundleStore& store, QObject* parent = nullptr);
    ~BundleListModel() override;

    BundleListActions& actions() noexcept { return m_actions; }

    /// The element of a row; none for an invalid index.
    std::optional<BundleListElement> elementAt(const QModelIndex& index) const;
    /// The row of an element, searched bundle by bundle and then among its expanders; an
    /// invalid index when the library does not hold it.
    QModelIndex indexOf(const BundleListElement& element) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;
    Qt::DropActions supportedDropActions() const override;
    bool canDropMimeData(
        const QMimeData* data, Qt::DropAction action, int row, int column, const QModelIndex& parent) const override;
    bool dropMimeData(
        const QMimeData* data, Qt::DropAction action, int row, int column, const QModelIndex& parent) override;

    /// The element of the drag in progress (or of the last one), while it still exists.
    std::optional<BundleListElement> draggingElement() const { return m_draggingElement.lock(); }

Q_SIGNALS:
    /// Bundle files were dropped onto the list; the receiver imports them.
    void bundleFilesDropped(const QStringList& paths);
    /// A row was moved by drag and drop; the receiver may select it again.
    void elementMoved(const quillet::BundleListElement& element);

private:
    struct BundleNode;

    void syncBundles();
    void syncExpanders(BundleNode& node);
    void watchBundle(BundleNode& node);
    void unwatchBundle(BundleNode& node);
    Observable::ObserverId watchExpander(BundleNode& node, const CustomExpanderPtr& expander);
    std::unique_ptr<BundleNode> makeNode(const BundlePtr& bundle);
    void renumber();
    int levelOfIndex(const QModelIndex& parent) const;
    static std::vector<QString> bundleFilePaths(const QMimeData* data);

    BundleStore& m_store;
    BundleListActions m_actions;
    Observable::ObserverId m_storeObserver = 0;
    std::vector<std::unique_ptr<BundleNode>> m_nodes;
    mutable WeakBundleListElement m_draggingElement;
};

} // namespace quillet
