#include "picturemodecontroller.h"

#include "downloadlistmodel.h"
#include "frmdownloaddata.h"
#include "frmshowpicture.h"
#include "frmwebbrowser.h"
#include "statewords.h"

#include <QImageReader>
#include <QPushButton>
#include <QTreeView>

PictureModeController::PictureModeController(frmDownloadData &downloads, DownloadListModel &list,
                                             frmWebbrowser &browser, frmShowPicture &viewer,
                                             bool &pictureMode, QObject *parent)
    : QObject(parent), m_downloads(downloads), m_list(list), m_browser(browser), m_viewer(viewer),
      m_pictureMode(pictureMode)
{
    connect(downloads.cmdPictureMode, &QPushButton::clicked, this,
            &PictureModeController::cmdPictureMode_Click);
    connect(downloads.ListView1, &QTreeView::clicked, this,
            [this](const QModelIndex &index) { ListView1_ItemClick(index.row() + 1); });
}

void PictureModeController::cmdPictureMode_Click()
{
    m_pictureMode = !m_pictureMode;
    m_downloads.cmdPictureMode->setChecked(m_pictureMode);
    if (m_pictureMode) {
        m_browser.hide();
        m_viewer.show();
    } else {
        // The viewer keeps its picture for the next time it is shown.
        m_viewer.hide();
        m_browser.show();
    }
}

void PictureModeController::ListView1_ItemClick(int row)
{
    if (!m_pictureMode || row < 1 || row > m_list.count()) return;
    const QString file = m_list.text(row);
    m_viewer.setWindowTitle(file);
    if (IsDoneState(m_list.subItem(row, DownloadListModel::ColState))) Picture_Show(file);
}

bool PictureModeController::Picture_Show(const QString &file)
{
    QImageReader reader(file);
    const QImage image = reader.read();
    if (image.isNull()) return false;
    m_viewer.ShowPicture(image);
    return true;
}
