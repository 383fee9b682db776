#include "downloadlistmodel.h"
#include "failurewords.h"
#include "leadingnumber.h"
#include "programstate.h"
#include "smallimages.h"
#include "statewords.h"

#include <algorithm>

namespace
{

// Cell value key under which a cell's picture number is kept.
constexpr int PictureKey = 1;
// Cell value key of a cell's tooltip.
constexpr int ToolTipKey = 2;

} // namespace

DownloadListModel::DownloadListModel(QObject *parent) : ListModel(defaultCaptions(), parent) {}

QStringList DownloadListModel::defaultCaptions()
{
    return {QStringLiteral("Filename"),    QStringLiteral("Progress"),
            QStringLiteral("Size"),        QStringLiteral("State"),
            QStringLiteral("Source"),      QStringLiteral("Target Dir"),
            QStringLiteral("main URL"),    QStringLiteral("min filesize"),
            QStringLiteral("mdnl number"), QStringLiteral("ref")};
}

void DownloadListModel::setSubItemImage(int row, int column, int picture, bool on)
{
    setCellValue(row, column, PictureKey, on ? QVariant(picture) : QVariant());
}

int DownloadListModel::subItemImage(int row, int column) const
{
    const QVariant picture = cellValue(row, column, PictureKey);
    return picture.isValid() ? picture.toInt() : -1;
}

void DownloadListModel::setSubItemToolTip(int row, int column, const QString &text)
{
    if (text.isEmpty() && subItemToolTip(row, column).isEmpty()) return;
    setCellValue(row, column, ToolTipKey, text.isEmpty() ? QVariant() : QVariant(text));
}

QString DownloadListModel::subItemToolTip(int row, int column) const
{
    return cellValue(row, column, ToolTipKey).toString();
}

QVariant DownloadListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return QVariant();
    const int row = index.row() + 1;
    if (role == Qt::DecorationRole) {
        const int picture = subItemImage(row, index.column());
        if (picture < 0) return QVariant();
        const QImage image = SmallImage(picture);
        return image.isNull() ? QVariant() : QVariant(image);
    }
    if (role == Qt::ToolTipRole) {
        const QString tip = subItemToolTip(row, index.column());
        if (tip.isEmpty()) return QVariant();
        // The reason is kept in English; the user reads it in the language.
        return Texts ? LocalReason(tip, *Texts) : tip;
    }
    if (role == Qt::DisplayRole && index.column() == ColState && Texts)
        return StateShown(subItem(row, ColState), *Texts);
    if (role == ProgressValueRole) {
        if (index.column() != ColProgress) return QVariant();
        return int(std::min<qint64>(LeadingNumber(subItem(row, ColProgress)), 100));
    }
    return ListModel::data(index, role);
}
