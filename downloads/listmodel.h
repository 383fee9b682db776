#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QHash>
#include <QList>
#include <QStringList>
#include <QVariant>

#include <utility>

class QItemSelectionModel;

// ListModel: an ordered list of rows of text columns, addressed by 1-based
// position, with a row selection, a text colour per row and suspendable
// repaint; the base of the download list and the URL list.
//
// Positions in this interface are 1-based (row 1 is the first row) and
// columns are 0-based, column 0 being the row's text. The QAbstractItemModel
// side that views see is 0-based as usual: position p is model row p - 1.
// Note that insertRow(int, const QString &) and removeRow(int) hide the
// 0-based QAbstractItemModel functions of the same name.
class ListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // The captions give the default column headers and fix the column count.
    explicit ListModel(const QStringList &captions, QObject *parent = nullptr);
    ~ListModel() override;

    int count() const;

    // Inserts a row at position (1..count() + 1; count() + 1 appends) with the
    // given text and every other column empty. False, and nothing changes,
    // for any other position.
    bool insertRow(int position, const QString &text);
    // Appends a row and returns its position (the new count()).
    int appendRow(const QString &text);
    // Appends rows given as their cells (cell 0 the row's text; missing cells
    // read empty) in one insertion, so that views repaint once for the whole
    // batch. Returns the position of the first new row.
    int appendRows(const QList<QStringList> &rows);
    // Removes the row; false when there is no such row.
    bool removeRow(int row);
    // Removes every row (announced as one removal of all rows).
    void clear();
    // Removes the rows at these positions (any order; repeats and invalid
    // ones are skipped) in one pass over the list, however scattered they
    // are. Views see one layout change; persistent indexes follow their rows
    // and those of removed rows become invalid; then positionsRemoved names
    // the removed rows. No rowsRemoved is emitted. Returns the number of rows
    // removed.
    int removeRowsAt(QList<int> positions);
    // Where a position (1-based, or 0) stands after the removal of the
    // sorted positions: moved up by the removed rows before it. For a removed
    // position this is the row that took its place (the next row to look at).
    static int PositionAfterRemoval(int position, const QList<int> &removed);

    // The row's text, column 0. Empty for a row that does not exist.
    QString text(int row) const;
    bool setText(int row, const QString &text);

    // A column's text. A column never written reads empty, and so does any
    // row or column out of range: callers that must tell "no such row" from
    // "empty" check count() first.
    QString subItem(int row, int column) const;
    // Writes a column's text; false when the row or column does not exist.
    bool setSubItem(int row, int column, const QString &text);

    // Row selection, shared with the views through selectionModel(). A row
    // counts as selected when any of its cells is.
    bool isSelected(int row) const;
    void setSelected(int row, bool on);
    // The selected positions, ascending.
    QList<int> selectedRows() const;
    QItemSelectionModel *selectionModel() const;

    // Column headers; the language file replaces the defaults.
    QString caption(int column) const;
    void setCaption(int column, const QString &caption);

    // Text colour of a whole row; an invalid colour means the view's default.
    void setRowColor(int row, const QColor &color);
    QColor rowColor(int row) const;

    // Holds back dataChanged while a group of cell writes runs, then announces
    // them as one change. Calls nest; the outermost resume emits one
    // dataChanged covering every cell written since the outermost suspend,
    // or nothing when nothing was written. Row insertions and removals are
    // always announced at once: views and row-number bookkeeping must never
    // see a stale row count. Prefer RepaintLock to calling these directly.
    void suspendRepaint();
    void resumeRepaint();
    bool isRepaintSuspended() const;

    // QAbstractItemModel
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value,
                       int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

protected:
    bool isValidRow(int row) const { return row >= 1 && row <= count(); }
    bool isValidColumn(int column) const { return column >= 0 && column < m_captions.size(); }

    // Extra per-cell values for subclasses (pictures and the like), kept with
    // the row so that they move when rows are inserted or removed before it.
    // An invalid value removes the entry. Writing announces the cell like a
    // text write. False when the row or column does not exist.
    bool setCellValue(int row, int column, int key, const QVariant &value);
    QVariant cellValue(int row, int column, int key) const;

signals:
    // After removeRowsAt: the removed positions as they were before (1-based,
    // ascending), for whoever keeps row positions as numbers. Arrives after
    // the layout change, when the list already shows the removal.
    void positionsRemoved(const QList<int> &positions);

private:
    struct Row {
        QStringList cells; // may be shorter than the column count
        QColor color;
        QHash<std::pair<int, int>, QVariant> values; // (column, key) -> value
    };

    // Announces a change of the cells [firstColumn, lastColumn] of a row
    // (0-based model row), or records it while repaint is suspended.
    void cellsChanged(int modelRow, int firstColumn, int lastColumn);

    QList<Row> m_rows;
    QStringList m_captions;
    QItemSelectionModel *m_selection;

    // Repaint suspension: nesting depth and the rectangle written meanwhile
    // (0-based; empty while m_dirtyTop > m_dirtyBottom).
    int m_suspendDepth = 0;
    int m_dirtyTop = 0;
    int m_dirtyBottom = -1;
    int m_dirtyLeft = 0;
    int m_dirtyRight = -1;
};
