#include "urlbarlogic.h"

#include <algorithm>
#include <cmath>

namespace UrlBarLogic
{

int ClampViewStart(int start, int length)
{
    return std::clamp(start, 1, std::max(1, length - (ViewLength - 1)));
}

int SeriesLength(const QString &answer)
{
    // Blanks, then an optional sign, digits and a fraction; the rest is ignored.
    int i = 0;
    const int n = int(answer.size());
    while (i < n && (answer.at(i) == QLatin1Char(' ') || answer.at(i) == QLatin1Char('\t')))
        ++i;
    bool negative = false;
    if (i < n && (answer.at(i) == QLatin1Char('-') || answer.at(i) == QLatin1Char('+')))
        negative = answer.at(i++) == QLatin1Char('-');
    double value = 0;
    bool any = false;
    for (; i < n && answer.at(i).isDigit() && answer.at(i).unicode() < 128; ++i) {
        // Beyond the cap the exact value no longer matters.
        if (value <= MaxSeries) value = value * 10 + (answer.at(i).unicode() - '0');
        any = true;
    }
    if (i < n && answer.at(i) == QLatin1Char('.')) {
        double scale = 0.1;
        for (++i; i < n && answer.at(i).isDigit() && answer.at(i).unicode() < 128; ++i) {
            value += scale * (answer.at(i).unicode() - '0');
            scale /= 10;
            any = true;
        }
    }
    if (!any || negative) return 0;
    return int(std::min<double>(std::nearbyint(value), MaxSeries));
}

ClipboardText ClipboardSeen(const QString &text, QString &lastSeen)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed == lastSeen.trimmed()) return {};
    lastSeen = text;
    if (trimmed.contains(QLatin1Char('\n')) || trimmed.contains(QLatin1Char('\r')))
        return {ClipboardText::Lines, QString()};
    return {ClipboardText::Address, trimmed};
}

QPoint CursorTwips(QPoint pixels, qreal dpiX, qreal dpiY)
{
    return QPoint(int(std::lround(pixels.x() * 1440.0 / dpiX)),
                  int(std::lround(pixels.y() * 1440.0 / dpiY)));
}

bool AtWorkAreaEdge(QPoint cursorTwips, const QRect &workAreaTwips)
{
    const double x = cursorTwips.x();
    return x <= workAreaTwips.left() * 1.01 ||
           x >= (double(workAreaTwips.left()) + workAreaTwips.width()) * 0.999;
}

} // namespace UrlBarLogic
