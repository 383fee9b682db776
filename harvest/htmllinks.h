#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>

// The raw link values of one page: the href of every anchor in text order,
// then the src of every image in text order, and the href of the last base tag
// that has one. Nothing is resolved, trimmed or de-duplicated.
struct PageLinks {
    QStringList Links;
    QString BaseAddress;

    int Count() const { return int(Links.size()); }
};

// Scans the page for the openers "<base ", "<a " and "<img " (any letter
// case, followed by a space) and takes one attribute value out of each tag.
// yield is called now and then during the scan (the crawl passes
// QCoreApplication::processEvents) so that the user interface stays live;
// the scan itself runs in time linear in the page length. With modernPictures
// a fourth kind of entry follows the images: the picture addresses of srcset,
// data-srcset and the lazy-loading attributes (ModernPictureScan).
PageLinks HTML_GetAllURLs(const QString &page, const std::function<void()> &yield = {},
                          bool modernPictures = false);

// The part of text before the first delimiter; the whole text when there is none.
QString TakeUntil(QStringView text, QChar delimiter);

// Removes, in place, every character with a code from 0 to 31 (tab, carriage
// return and line feed included; the space stays).
void StripControlChars(QString &text);
