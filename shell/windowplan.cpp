#include "windowplan.h"

WindowPlan WindowPlan::For(const QRect &workArea, int optionsWidth)
{
    WindowPlan p;
    p.UrlBar = QRect(workArea.left(), workArea.top(), UrlBarWidth, UrlBarHeight);
    p.Downloads = QRect(p.UrlBar.left(), p.UrlBar.top() + UrlBarHeight, UrlBarWidth,
                        workArea.height() - UrlBarHeight);
    p.Browser = QRect(p.UrlBar.left() + UrlBarWidth, p.UrlBar.top(), workArea.width() - UrlBarWidth,
                      workArea.height());
    p.Picture = p.Browser;
    p.Options = QRect(workArea.left() + workArea.width() - optionsWidth, OptionsTop, optionsWidth,
                      OptionsHeight);
    return p;
}

QString MakeStartStamp(const QTime &time)
{
    return time.toString(QStringLiteral("hhmmss"));
}
