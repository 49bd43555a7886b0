#include "editor/FilterChainModel.h"

#include "docs/views/QtText.h"
#include "expansion/Filter.h"

#include <QMimeData>

namespace quillet {

FilterChainModel::FilterChainModel(OutputVariableEditorState& state, QObject* parent)
    : QAbstractListModel(parent)
    , m_state(state)
    , m_shown(state.filters())
{
}

void FilterChainModel::refresh()
{
    if (m_shown == m_state.filters())
        return;
    beginResetModel();
    m_shown = m_state.filters();
    endResetModel();
}

int FilterChainModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_shown.size());
}

QVariant FilterChainModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const Filter* filter = m_shown[static_cast<std::size_t>(index.row())];
    if (role == Qt::DisplayRole)
        return qtString(filter->name());
    if (role == Qt::ToolTipRole)
        return qtString(filter->id());
    return {};
}

Qt::ItemFlags FilterChainModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    // Rows take no drop on themselves: a drop goes between rows.
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

QStringList FilterChainModel::mimeTypes() const
{
    return { QString::fromLatin1(OutputVariableEditorState::filterDragType) };
}

QMimeData* FilterChainModel::mimeData(const QModelIndexList& indexes) const
{
    if (indexes.isEmpty() || !indexes.front().isValid())
        return nullptr;
    auto* data = new QMimeData;
    const std::string row = m_state.beginDrag(indexes.front().row());
    data->setData(QString::fromLatin1(OutputVariableEditorState::filterDragType), QByteArray::fromStdString(row));
    return data;
}

bool FilterChainModel::canDropMimeData(
    const QMimeData* data, Qt::DropAction, int row, int, const QModelIndex& parent) const
{
    if (!data || !data->hasFormat(QString::fromLatin1(OutputVariableEditorState::filterDragType)))
        return false;
    // Qt gives row -1 with a valid parent for a drop onto a row, and row -1 with no parent
    // for a drop below the last row.
    const bool betweenRows = !parent.isValid();
    const int target = row < 0 ? (betweenRows ? rowCount() : parent.row()) : row;
    return m_state.canDrop(target, betweenRows);
}

bool FilterChainModel::dropMimeData(
    const QMimeData* data, Qt::DropAction action, int row, int column, const QModelIndex& parent)
{
    if (!canDropMimeData(data, action, row, column, parent))
        return false;
    // The drag must come from this editor: the data names the row this model handed out.
    bool isNumber = false;
    const int draggedRow = data->data(QString::fromLatin1(OutputVariableEditorState::filterDragType)).toInt(&isNumber);
    if (!isNumber || m_state.draggingRow() != draggedRow)
        return false;
    // The state tells its editor, which refreshes this model.
    return m_state.acceptDrop(row < 0 ? rowCount() : row);
}

bool FilterChainModel::removeRows(int, int, const QModelIndex&)
{
    return false;
}

} // namespace quillet
