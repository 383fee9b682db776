#include "smallimages.h"

#include <QColor>

namespace
{

constexpr int Side = 16;

// A horizontal bar cut into four coloured segments with a transparent gap
// between them: one file fetched as several parts.
QImage SplitBar()
{
    QImage image(Side, Side, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    const QColor segments[] = {QColor(0, 150, 60), QColor(40, 110, 220), QColor(240, 170, 0),
                               QColor(210, 50, 50)};
    // Segments three pixels wide, one pixel apart (x = 1-3, 5-7, 9-11, 13-15),
    // eight pixels high with a darker top and bottom edge.
    constexpr int Top = 4;
    constexpr int Bottom = 11;
    for (int s = 0; s < 4; ++s) {
        const QColor edge = segments[s].darker(160);
        for (int x = 1 + s * 4; x < 4 + s * 4; ++x) {
            for (int y = Top; y <= Bottom; ++y)
                image.setPixelColor(x, y, (y == Top || y == Bottom) ? edge : segments[s]);
        }
    }
    return image;
}

} // namespace

QImage SmallImage(int n)
{
    if (n == MultipartPicture) {
        static const QImage picture = SplitBar();
        return picture;
    }
    return QImage();
}
