#pragma once

#include <QRect>
#include <QString>
#include <QTime>

// Where the main windows go at startup, in twips, around the URL bar at the
// top-left corner of the desktop work area.
struct WindowPlan {
    static constexpr int UrlBarWidth = 8055;
    static constexpr int UrlBarHeight = 1920;
    static constexpr int OptionsTop = 2000;
    static constexpr int OptionsHeight = 1140;

    QRect UrlBar;
    QRect Downloads; // below the bar, down to the bottom of the work area
    QRect Browser;   // right of the bar, the full work-area height
    QRect Picture;   // the picture viewer takes the browser's docked place
    QRect Options;   // right edge on the work area's right edge

    // workArea and optionsWidth in twips.
    static WindowPlan For(const QRect &workArea, int optionsWidth);
};

// The time of day as "hhmmss": names the crawl's temporary pages.
QString MakeStartStamp(const QTime &time);
