#include "filenamedelegate.h"

#include <QApplication>
#include <QStyle>

QString FileNameDelegate::Shown(const QString &path, const QFontMetrics &metrics, int width)
{
    if (metrics.horizontalAdvance(path) <= width) return path;
    const qsizetype slash =
        qMax(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    const QString name = path.mid(slash + 1);
    const int nameWidth = metrics.horizontalAdvance(name);
    if (slash < 0 || nameWidth >= width) return metrics.elidedText(name, Qt::ElideMiddle, width);
    return metrics.elidedText(path.left(slash + 1), Qt::ElideLeft, width - nameWidth) + name;
}

void FileNameDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (!option->features.testFlag(QStyleOptionViewItem::HasDisplay)) return;
    // The room the text gets inside the cell: the cell without its margins
    // and the picture, if any.
    const QStyle *style = option->widget ? option->widget->style() : QApplication::style();
    const int margin =
        style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, option->widget) + 1;
    int room = option->rect.width() - 2 * margin;
    if (option->features.testFlag(QStyleOptionViewItem::HasDecoration))
        room -= option->decorationSize.width() + 2 * margin;
    option->text = Shown(option->text, option->fontMetrics, qMax(0, room));
}
