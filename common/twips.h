#pragma once

#include <QRect>
#include <cmath>

// Window geometry is designed in twips (1440 per inch); the screen's logical
// DPI turns it into pixels (15 twips per pixel at 96 DPI).
namespace Twips
{

constexpr int PerInch = 1440;

// Pixels for a length in twips, rounded to the nearest pixel.
inline int ToPixels(int twips, qreal dpi)
{
    return int(std::lround(twips * dpi / PerInch));
}

// Twips for a length in pixels, rounded to the nearest whole twip (halves to
// the even neighbour, as the work area is converted).
inline int FromPixels(int pixels, qreal dpi)
{
    return int(std::nearbyint(pixels * PerInch / dpi));
}

// A rectangle given in twips (left, top, width, height) in pixels.
inline QRect ToPixels(const QRect &twips, qreal dpiX, qreal dpiY)
{
    return QRect(ToPixels(twips.left(), dpiX), ToPixels(twips.top(), dpiY),
                 ToPixels(twips.width(), dpiX), ToPixels(twips.height(), dpiY));
}

} // namespace Twips
