#pragma once

#include "editor/OutputVariableEditorState.h"

#include <QAbstractListModel>

#include <vector>

namespace quillet {

/// The filter chain of the placeholder editor as a list, one row per applied filter (shown by
/// its display name), reordered by dragging rows. A drag carries the type
/// "com.orvanta.Quillet.Filter" with the row index as decimal text; only drops into the gap
/// between rows of the same editor are accepted.
class FilterChainModel final : public QAbstractListModel {
    Q_OBJECT
public:
    explicit FilterChainModel(OutputVariableEditorState& state, QObject* parent = nullptr);

    /// Tells the views when the chain in the state differs from the rows shown.
    void refresh();

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }
    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool canDropMimeData(
        const QMimeData* data, Qt::DropAction action, int row, int column, const QModelIndex& parent) const override;
    bool dropMimeData(
        const QMimeData* data, Qt::DropAction action, int row, int column, const QModelIndex& parent) override;
    /// The move is done by the drop itself; the view must not remove the dragged row again.
    bool removeRows(int row, int count, const QModelIndex& parent = {}) override;

private:
    OutputVariableEditorState& m_state;
    std::vector<const Filter*> m_shown;
};

} // namespace quillet
