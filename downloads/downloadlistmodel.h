#pragma once

#include "listmodel.h"

#include <QImage>

class LanguageTexts;

// DownloadListModel: the download list, one row per file to download; the row
// holds the download's whole visible state as text (columns below).
class DownloadListModel : public ListModel
{
    Q_OBJECT
public:
    enum DownloadColumn {
        ColFilename = 0, // full local path of the file to write; the row's text
        ColProgress,     // percentage as "37%"; empty until the first report
        ColSize,         // "0/0 bytes" at creation, then received/announced bytes
        ColState,        // state word, see statewords.h
        ColSource,       // absolute address of the file
        ColTargetDir,    // target directory
        ColMainURL,      // sub-directory of the target directory (the page's host)
        ColMinFileSize,  // minimum accepted size in bytes, leading-number text
        ColMdnlNumber,   // multi-part marker, see ParseMultipartMarker
        ColRef,          // referer sent with the requests; empty for none
        DownloadColumnCount
    };

    enum Role {
        // On the Progress column: the leading number of the cell, clamped to
        // 0..100, for a view that draws the cell as a progress bar.
        ProgressValueRole = Qt::UserRole + 1,
    };

    explicit DownloadListModel(QObject *parent = nullptr);

    // The default column captions, in column order.
    static QStringList defaultCaptions();

    // Shows picture n of the small-image list (SmallImage) in a cell, or with
    // on false removes the cell's picture. Does nothing for a cell that does
    // not exist.
    void setSubItemImage(int row, int column, int picture, bool on);
    // The picture number a cell shows, or -1 for none.
    int subItemImage(int row, int column) const;
    // A cell's tooltip (why a row failed); empty text removes it.
    void setSubItemToolTip(int row, int column, const QString &text);
    QString subItemToolTip(int row, int column) const;
    // The language tooltips are shown in (the stored reasons stay English);
    // none shows them as stored.
    const LanguageTexts *Texts = nullptr;

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
};
