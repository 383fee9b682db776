#pragma once

#include <QImage>

// The download list's small-image list: little pictures a cell can show next
// to its text. Pictures are 16x16 ARGB images drawn pixel by pixel, so they
// need no GUI application and no fonts.

// Picture shown in the "Progress" cell when a file starts downloading in parts.
inline constexpr int MultipartPicture = 8;

// Picture n of the list, or a null image for a number the list does not hold.
QImage SmallImage(int n);
