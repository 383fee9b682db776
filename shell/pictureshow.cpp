#include "pictureshow.h"

#include <cmath>

namespace
{

// Whole number nearest to value, halves to the even neighbour, as scaled
// lengths are stored.
int Whole(double value)
{
    return int(std::nearbyint(value));
}

} // namespace

QRect PictureShowRect(QSize box, QSize picture, bool stretch, bool centre)
{
    if (box.isEmpty() || picture.isEmpty()) return QRect();
    const int boxWidth = box.width();
    const int boxHeight = box.height();
    // The ratios are compared in single precision so that a picture whose
    // shape equals the box's within that precision fills the box's width.
    const float boxRatio = float(boxWidth) / float(boxHeight);
    int w = picture.width();
    int h = picture.height();
    const float picRatio = float(w) / float(h);
    int x = 0;
    int y = 0;
    if (w > boxWidth || h > boxHeight || stretch) {
        if (picRatio < boxRatio) {
            // Relatively taller than the box: the height limits.
            w = Whole(double(w) * boxHeight / h);
            h = boxHeight;
            if (centre) x = (boxWidth - w) / 2;
        } else {
            h = Whole(double(h) * boxWidth / w);
            w = boxWidth;
            if (centre) y = (boxHeight - h) / 2;
        }
    } else if (centre) {
        x = (boxWidth - w) / 2;
        y = (boxHeight - h) / 2;
    }
    return QRect(x, y, w, h);
}
