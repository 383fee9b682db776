#pragma once

#include <QStyledItemDelegate>

// ProgressDelegate: draws the download list's "Progress" cells as a progress
// bar filled to the model's ProgressValueRole, with the cell's text ("37%")
// on the bar and the cell's picture, if any, to its left. Cells without text
// (no progress reported yet) are drawn as ordinary cells.
class ProgressDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit ProgressDelegate(QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
};
