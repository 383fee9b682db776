#pragma once

#include <QObject>

class DownloadListModel;
class QModelIndex;
class frmDownloadData;
class frmShowPicture;
class frmWebbrowser;

// Picture mode: the download window's switch puts the picture viewer in the
// browser window's place and back; while it is on, a click on a finished row
// of the download list shows that file in the viewer.
class PictureModeController : public QObject
{
    Q_OBJECT
public:
    // pictureMode is the program-wide flag, kept by the shell.
    PictureModeController(frmDownloadData &downloads, DownloadListModel &list,
                          frmWebbrowser &browser, frmShowPicture &viewer, bool &pictureMode,
                          QObject *parent = nullptr);

    void cmdPictureMode_Click();
    // A click on the download list's row (1-based).
    void ListView1_ItemClick(int row);
    // Loads the file as a picture and shows it scaled and centred; a file
    // that is not a picture leaves the picture shown before. True when shown.
    bool Picture_Show(const QString &file);

private:
    frmDownloadData &m_downloads;
    DownloadListModel &m_list;
    frmWebbrowser &m_browser;
    frmShowPicture &m_viewer;
    bool &m_pictureMode;
};
