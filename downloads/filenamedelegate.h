#pragma once

#include <QFontMetrics>
#include <QString>
#include <QStyledItemDelegate>

// FileNameDelegate: shows a full path in a narrow cell by eliding its
// folder, never the file's own name, so that "g1/01.jpg" and "g2/01.jpg"
// stay apart by their names and a name is never cut while its folder shows.
class FileNameDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The text a path shows in width pixels: the whole path when it fits,
    // else "…" and as much of the folder's end as fits before the name; a
    // name wider than the cell alone loses its middle.
    static QString Shown(const QString &path, const QFontMetrics &metrics, int width);

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
};
