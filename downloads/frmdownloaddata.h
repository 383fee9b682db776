#pragma once

#include <QWidget>

class DownloadListModel;
class ListModel;
class QGroupBox;
class QLabel;
class QPushButton;
class QTimer;
class QTreeView;
class UrlListModel;

// frmDownloadData: the download window, showing the URL list (pages still to
// be harvested) and the download list (files to fetch) with their commands.
// The controls are public and carry their designed names so that the
// language file and the command handlers can reach them.
class frmDownloadData : public QWidget
{
    Q_OBJECT
public:
    frmDownloadData(DownloadListModel &downloads, UrlListModel &urls, QWidget *parent = nullptr);
    ~frmDownloadData() override;

    DownloadListModel &downloadModel() const { return m_downloads; }
    UrlListModel &urlModel() const { return m_urls; }

    // URL list and its commands.
    QGroupBox *frameURLList;
    QTreeView *ListView2;
    QPushButton *cmdPut2DownloadList;
    QPushButton *cmdStopFillingDownloadlist;
    QPushButton *cmdDeleteFromURLList;
    QPushButton *cmdClearURLList;
    QPushButton *cmdSaveURLlist;
    QPushButton *cmdLoadURLlist;

    // Download list and its commands.
    QGroupBox *frameDownloadList;
    QTreeView *ListView1;
    QPushButton *Command1;
    QPushButton *cmdRestartSelectedDownloads;
    QPushButton *cmdStopDownload;
    QPushButton *cmdStopAllRunningDownloads; // picture only
    QPushButton *cmdDeleteFromList;
    QPushButton *Command2;
    QPushButton *cmdOpenTargetDir;
    QPushButton *cmdPictureMode;   // checkable: picture mode on or off
    QPushButton *cmdForgetArchive; // forgets the files downloaded before
    QPushButton *cmdSaveDownloadlist;
    QPushButton *cmdLoadDownloadlist;

    // The harvest shows the current crawl depth in label1; lblStatus beside
    // it shows the overall progress of downloads and harvest.
    QLabel *label1;
    QLabel *lblStatus;
    QLabel *Picture1;

    // Button-state tick, 4000 ms; started by whoever runs the scheduler.
    QTimer *Timer1;

private:
    QPushButton *makeButton(const char *name, const QString &caption, const QString &toolTip);
    QTreeView *makeListView(const char *name, ListModel &model);

    DownloadListModel &m_downloads;
    UrlListModel &m_urls;
};
