#pragma once

#include "listmodel.h"

// UrlListModel: the URL list, one row per page address still to be harvested,
// carrying a copy of the harvest options that apply to it (columns below).
class UrlListModel : public ListModel
{
    Q_OBJECT
public:
    enum UrlColumn {
        ColURL = 0,        // page address to harvest; the row's text
        ColFileTypes,      // five "0;"/"1;" boxes, then the typed extensions
        ColDepth,          // crawl depth, decimal text
        ColStayOnsite,     // "0" or "1"
        ColJustGoDown,     // "0" or "1"
        ColMinFileSize,    // minimum file size in kilobytes, as typed
        ColUniqueFilename, // "0" or "1"
        ColExtraClick,     // "0" or "1"
        ColFilePattern,    // file-name patterns, comma-separated
        UrlColumnCount
    };

    explicit UrlListModel(QObject *parent = nullptr);

    // The default column captions, in column order.
    static QStringList defaultCaptions();
};
