#pragma once

#include <QString>

// The URL bar's working address and its counting marks.
struct UrlBarState {
    QString RLText;      // the working address that counting edits
    QString RLMarks;     // one mark per character: " ", "R", "L", "C", "c"
    int RLViewStart = 0; // 1-based position shown on character button 0
    int RLLength = 0;
    int RLClickCount = 0;
    int RLRepeat = 1;
    QString LastClipboardText;
};
