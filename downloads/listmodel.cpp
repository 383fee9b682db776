#include "listmodel.h"

#include <QBrush>
#include <QItemSelectionModel>

#include <algorithm>

ListModel::ListModel(const QStringList &captions, QObject *parent)
    : QAbstractTableModel(parent), m_captions(captions),
      m_selection(new QItemSelectionModel(this, this))
{
}

ListModel::~ListModel() = default;

int ListModel::count() const
{
    return int(m_rows.size());
}

bool ListModel::insertRow(int position, const QString &text)
{
    if (position < 1 || position > count() + 1) return false;
    const int modelRow = position - 1;
    beginInsertRows(QModelIndex(), modelRow, modelRow);
    Row row;
    row.cells.append(text);
    m_rows.insert(modelRow, row);
    // Cells written while repaint is suspended move down with their rows.
    if (m_dirtyTop <= m_dirtyBottom) {
        if (modelRow <= m_dirtyTop) {
            ++m_dirtyTop;
            ++m_dirtyBottom;
        } else if (modelRow <= m_dirtyBottom) {
            ++m_dirtyBottom;
        }
    }
    endInsertRows();
    return true;
}

int ListModel::appendRow(const QString &text)
{
    insertRow(count() + 1, text);
    return count();
}

int ListModel::appendRows(const QList<QStringList> &rows)
{
    const int first = count() + 1;
    if (rows.isEmpty()) return first;
    beginInsertRows(QModelIndex(), first - 1, first - 1 + int(rows.size()) - 1);
    for (const QStringList &cells : rows) {
        Row row;
        row.cells = cells.mid(0, m_captions.size());
        if (row.cells.isEmpty()) row.cells.append(QString());
        m_rows.append(row);
    }
    endInsertRows();
    return first;
}

bool ListModel::removeRow(int row)
{
    if (!isValidRow(row)) return false;
    const int modelRow = row - 1;
    beginRemoveRows(QModelIndex(), modelRow, modelRow);
    m_rows.removeAt(modelRow);
    if (m_dirtyTop <= m_dirtyBottom) {
        if (modelRow < m_dirtyTop) {
            --m_dirtyTop;
            --m_dirtyBottom;
        } else if (modelRow <= m_dirtyBottom) {
            --m_dirtyBottom;
        }
    }
    endRemoveRows();
    return true;
}

void ListModel::clear()
{
    if (m_rows.isEmpty()) return;
    beginRemoveRows(QModelIndex(), 0, count() - 1);
    m_rows.clear();
    m_dirtyTop = 0;
    m_dirtyBottom = -1;
    endRemoveRows();
}

int ListModel::removeRowsAt(QList<int> positions)
{
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    positions.removeIf([this](int row) { return !isValidRow(row); });
    if (positions.isEmpty()) return 0;

    // One pass: the kept rows close up, and every model row learns where it
    // went (-1: removed). One removal per run of neighbouring rows would move
    // the rest of the list, and make views and persistent indexes follow,
    // once per run: quadratic for scattered rows.
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    QList<int> moved(m_rows.size(), -1);
    int kept = 0;
    qsizetype next = 0;
    for (int row = 0; row < int(m_rows.size()); ++row) {
        if (next < positions.size() && positions[next] == row + 1) {
            ++next;
            continue;
        }
        if (kept != row) m_rows[kept] = std::move(m_rows[row]);
        moved[row] = kept++;
    }
    m_rows.resize(kept);

    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex &index : from) {
        const int row = moved.value(index.row(), -1);
        to.append(row < 0 ? QModelIndex() : createIndex(row, index.column()));
    }
    changePersistentIndexList(from, to);

    // Cells written while repaint is suspended move up with their rows: the
    // rectangle runs from the first kept row at or after its top to the last
    // kept row at or before its bottom (empty when none is left).
    if (m_dirtyTop <= m_dirtyBottom) {
        m_dirtyTop = PositionAfterRemoval(m_dirtyTop + 1, positions) - 1;
        m_dirtyBottom = PositionAfterRemoval(m_dirtyBottom + 2, positions) - 2;
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    emit positionsRemoved(positions);
    return int(positions.size());
}

int ListModel::PositionAfterRemoval(int position, const QList<int> &removed)
{
    return position -
           int(std::lower_bound(removed.begin(), removed.end(), position) - removed.begin());
}

QString ListModel::text(int row) const
{
    return subItem(row, 0);
}

bool ListModel::setText(int row, const QString &text)
{
    return setSubItem(row, 0, text);
}

QString ListModel::subItem(int row, int column) const
{
    if (!isValidRow(row) || !isValidColumn(column)) return QString();
    return m_rows[row - 1].cells.value(column);
}

bool ListModel::setSubItem(int row, int column, const QString &text)
{
    if (!isValidRow(row) || !isValidColumn(column)) return false;
    QStringList &cells = m_rows[row - 1].cells;
    while (cells.size() <= column)
        cells.append(QString());
    cells[column] = text;
    cellsChanged(row - 1, column, column);
    return true;
}

bool ListModel::isSelected(int row) const
{
    if (!isValidRow(row)) return false;
    return m_selection->rowIntersectsSelection(row - 1, QModelIndex());
}

void ListModel::setSelected(int row, bool on)
{
    if (!isValidRow(row)) return;
    const QItemSelectionModel::SelectionFlags how =
        (on ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
        QItemSelectionModel::Rows;
    m_selection->select(index(row - 1, 0), how);
}

QList<int> ListModel::selectedRows() const
{
    QList<int> rows;
    const QItemSelection selection = m_selection->selection();
    for (const QItemSelectionRange &range : selection) {
        for (int r = range.top(); r <= range.bottom(); ++r)
            rows.append(r + 1);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

QItemSelectionModel *ListModel::selectionModel() const
{
    return m_selection;
}

QString ListModel::caption(int column) const
{
    return m_captions.value(column);
}

void ListModel::setCaption(int column, const QString &caption)
{
    if (!isValidColumn(column) || m_captions[column] == caption) return;
    m_captions[column] = caption;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

void ListModel::setRowColor(int row, const QColor &color)
{
    if (!isValidRow(row)) return;
    m_rows[row - 1].color = color;
    cellsChanged(row - 1, 0, columnCount() - 1);
}

QColor ListModel::rowColor(int row) const
{
    if (!isValidRow(row)) return QColor();
    return m_rows[row - 1].color;
}

void ListModel::suspendRepaint()
{
    ++m_suspendDepth;
}

void ListModel::resumeRepaint()
{
    if (m_suspendDepth == 0) return;
    if (--m_suspendDepth > 0) return;
    const int top = std::max(m_dirtyTop, 0);
    const int bottom = std::min(m_dirtyBottom, count() - 1);
    const int left = m_dirtyLeft;
    const int right = m_dirtyRight;
    m_dirtyTop = 0;
    m_dirtyBottom = -1;
    if (top <= bottom && left <= right) emit dataChanged(index(top, left), index(bottom, right));
}

bool ListModel::isRepaintSuspended() const
{
    return m_suspendDepth > 0;
}

int ListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

int ListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_captions.size());
}

QVariant ListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return QVariant();
    const Row &row = m_rows[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return row.cells.value(index.column());
    case Qt::ForegroundRole:
        return row.color.isValid() ? QVariant(QBrush(row.color)) : QVariant();
    default:
        return QVariant();
    }
}

QVariant ListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        if (!isValidColumn(section)) return QVariant();
        return m_captions[section];
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool ListModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant &value,
                              int role)
{
    if (orientation != Qt::Horizontal || !isValidColumn(section) ||
        (role != Qt::DisplayRole && role != Qt::EditRole))
        return false;
    setCaption(section, value.toString());
    return true;
}

Qt::ItemFlags ListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

bool ListModel::setCellValue(int row, int column, int key, const QVariant &value)
{
    if (!isValidRow(row) || !isValidColumn(column)) return false;
    QHash<std::pair<int, int>, QVariant> &values = m_rows[row - 1].values;
    if (value.isValid())
        values.insert({column, key}, value);
    else
        values.remove({column, key});
    cellsChanged(row - 1, column, column);
    return true;
}

QVariant ListModel::cellValue(int row, int column, int key) const
{
    if (!isValidRow(row) || !isValidColumn(column)) return QVariant();
    return m_rows[row - 1].values.value({column, key});
}

void ListModel::cellsChanged(int modelRow, int firstColumn, int lastColumn)
{
    if (m_suspendDepth == 0) {
        emit dataChanged(index(modelRow, firstColumn), index(modelRow, lastColumn));
        return;
    }
    if (m_dirtyTop > m_dirtyBottom) {
        m_dirtyTop = m_dirtyBottom = modelRow;
        m_dirtyLeft = firstColumn;
        m_dirtyRight = lastColumn;
        return;
    }
    m_dirtyTop = std::min(m_dirtyTop, modelRow);
    m_dirtyBottom = std::max(m_dirtyBottom, modelRow);
    m_dirtyLeft = std::min(m_dirtyLeft, firstColumn);
    m_dirtyRight = std::max(m_dirtyRight, lastColumn);
}
