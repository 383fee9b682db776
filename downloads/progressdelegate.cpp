#include "progressdelegate.h"

#include "downloadlistmodel.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionProgressBar>

#include <algorithm>

ProgressDelegate::ProgressDelegate(QObject *parent) : QStyledItemDelegate(parent) {}

void ProgressDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                             const QModelIndex &index) const
{
    const QVariant value = index.data(DownloadListModel::ProgressValueRole);
    const QString text = index.data(Qt::DisplayRole).toString();
    if (!value.isValid() || text.trimmed().isEmpty()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }

    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    const QWidget *widget = cell.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();

    // Background and selection highlight as for any cell, but the text goes on
    // the bar and the picture is placed by hand so that the bar does not cover
    // it.
    const QIcon icon = cell.icon;
    const QSize iconSize = cell.decorationSize;
    cell.text.clear();
    cell.icon = QIcon();
    cell.features &= ~QStyleOptionViewItem::HasDecoration;
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);

    QRect area = option.rect.adjusted(1, 1, -1, -1);
    painter->save();
    if (!icon.isNull() && area.width() > iconSize.width()) {
        const QRect iconRect(area.left(), area.top() + (area.height() - iconSize.height()) / 2,
                             iconSize.width(), iconSize.height());
        icon.paint(painter, iconRect);
        area.setLeft(iconRect.right() + 3);
    }

    QStyleOptionProgressBar bar;
    if (widget) bar.initFrom(widget);
    bar.rect = area;
    bar.palette = option.palette;
    bar.fontMetrics = option.fontMetrics;
    bar.state = (option.state & QStyle::State_Enabled) | QStyle::State_Horizontal;
    bar.minimum = 0;
    bar.maximum = 100;
    // The model clamps to 100 already; the view must not trust a foreign model.
    bar.progress = std::clamp(value.toInt(), 0, 100);
    bar.text = text;
    bar.textVisible = true;
    bar.textAlignment = Qt::AlignCenter;
    if (area.width() > 0 && area.height() > 0)
        style->drawControl(QStyle::CE_ProgressBar, &bar, painter, widget);
    painter->restore();
}
