#pragma once

#include <QRect>
#include <QSize>

// Where a picture is drawn inside a picture box (both sizes in the same unit,
// the box's inner size): a picture larger than the box, or any picture when
// stretch is on, is scaled to fit with its proportions kept; a smaller one
// keeps its own size. With centre on it sits in the middle of the box,
// otherwise at its top-left corner. An empty box or picture gives an empty
// rectangle.
QRect PictureShowRect(QSize box, QSize picture, bool stretch, bool centre);
