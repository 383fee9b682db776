#pragma once

#include <QAbstractItemModel>
#include <QPersistentModelIndex>

// A walk's place in a list that may change while the walk yields: the row it
// looked at last and the row after it, both kept right by the list itself
// through insertions, removals, layout changes and resets. The next row to
// look at is the one after the last row looked at; when that row has gone,
// the one in front of which it stood. So every row still to come is looked
// at once, also when the current row is removed. Positions are 1-based.
class RowCursor
{
public:
    // Starts a walk after position (0: from the first row).
    RowCursor(const QAbstractItemModel &model, int position) : m_model(model) { Passed(position); }

    // The position of the next row to look at (past the end when none is left).
    int Next() const
    {
        if (m_last.isValid()) return m_last.row() + 2;
        if (m_after.isValid()) return m_after.row() + 1;
        // Both went at once (or the list was reset): go on where they stood.
        return qMin(m_fallback, m_model.rowCount() + 1);
    }
    // The row at position has been looked at.
    void Passed(int position)
    {
        m_last = QPersistentModelIndex(m_model.index(position - 1, 0));
        m_after = QPersistentModelIndex(m_model.index(position, 0));
        m_fallback = qMax(1, position);
    }

private:
    const QAbstractItemModel &m_model;
    QPersistentModelIndex m_last;
    QPersistentModelIndex m_after;
    int m_fallback = 1;
};
