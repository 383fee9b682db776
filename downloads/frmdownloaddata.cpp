#include "frmdownloaddata.h"

#include "downloadlistmodel.h"
#include "filenamedelegate.h"
#include "progressdelegate.h"
#include "twips.h"
#include "urllistmodel.h"
#include "wrapbutton.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <initializer_list>
#include <utility>

namespace
{

// The clear commands carry the same designed caption on both lists.
const QString ClearListCaption =
    QStringLiteral("clear list: can only be cleared if there are no running download jobs");

// A small red square with a dark rim: "stop everything".
QIcon StopIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QColor(120, 0, 0));
    painter.setBrush(QColor(220, 30, 30));
    painter.drawRect(2, 2, 11, 11);
    painter.end();
    return QIcon(pixmap);
}

// One cell of a button grid: a button, or a pair side by side, over one or
// more columns.
struct Cell {
    QPushButton *First;
    QPushButton *Second = nullptr;
    int Span = 1;
};

// A grid of command buttons under a list, three columns wide, so that the
// list gets the window's whole width and the buttons need few rows. A button
// with a fixed horizontal size policy (a picture button) keeps its small
// width and leaves the rest of its cell to its partner. Cells fill the rows
// in order; a command added later takes the next free cell.
QGridLayout *ButtonGrid(std::initializer_list<Cell> cells)
{
    constexpr int Columns = 3;
    auto *grid = new QGridLayout;
    grid->setSpacing(3);
    int row = 0, column = 0;
    for (const Cell &cell : cells) {
        if (column + cell.Span > Columns) {
            ++row;
            column = 0;
        }
        if (!cell.Second) {
            grid->addWidget(cell.First, row, column, 1, cell.Span);
        } else {
            auto *pair = new QHBoxLayout;
            pair->setSpacing(2);
            pair->addWidget(cell.First);
            pair->addWidget(cell.Second);
            grid->addLayout(pair, row, column, 1, cell.Span);
        }
        column += cell.Span;
    }
    for (int c = 0; c < Columns; ++c)
        grid->setColumnStretch(c, 1);
    return grid;
}

// A frame holding a list with its buttons under it; the list takes the
// frame's spare height.
void ListWithButtons(QGroupBox *frame, QTreeView *list, QGridLayout *buttons)
{
    auto *layout = new QVBoxLayout(frame);
    layout->setContentsMargins(4, 2, 4, 4);
    layout->setSpacing(3);
    layout->addWidget(list, 1);
    layout->addLayout(buttons);
}

} // namespace

frmDownloadData::frmDownloadData(DownloadListModel &downloads, UrlListModel &urls, QWidget *parent)
    : QWidget(parent), m_downloads(downloads), m_urls(urls)
{
    // A window of its own even when the shell gives it a parent.
    setWindowFlag(Qt::Window);
    setObjectName(QStringLiteral("frmDownloadData"));
    setWindowTitle(QStringLiteral("Quarvel - downloads"));

    // URL list.
    frameURLList = new QGroupBox(QStringLiteral("URL list"), this);
    frameURLList->setObjectName(QStringLiteral("frameURLList"));
    frameURLList->setToolTip(
        QStringLiteral("pages still to be searched for files, each with its own options"));
    ListView2 = makeListView("ListView2", urls);
    cmdPut2DownloadList =
        makeButton("cmdPut2DownloadList",
                   QStringLiteral("look in selected URLs and put files found in downloadlist"),
                   QStringLiteral("search for files in selected URLs from URL list and put them in "
                                  "downloadlist beyond"));
    cmdStopFillingDownloadlist =
        makeButton("cmdStopFillingDownloadlist", QStringLiteral("stop filling downloadlist"),
                   QStringLiteral("stop searching the selected URLs after the current one"));
    cmdDeleteFromURLList =
        makeButton("cmdDeleteFromURLList", QStringLiteral("delete selected entries from list"),
                   QStringLiteral("delete the selected URLs from the URL list"));
    cmdClearURLList = makeButton("cmdClearURLList", ClearListCaption,
                                 QStringLiteral("remove every entry from the URL list"));
    cmdSaveURLlist = makeButton("cmdSaveURLlist", QStringLiteral("save list"),
                                QStringLiteral("save actual urllist"));
    cmdLoadURLlist = makeButton("cmdLoadURLlist", QStringLiteral("load list"),
                                QStringLiteral("load saved urllist"));

    ListWithButtons(frameURLList, ListView2,
                    ButtonGrid({{cmdPut2DownloadList, nullptr, 2},
                                {cmdStopFillingDownloadlist},
                                {cmdDeleteFromURLList},
                                {cmdClearURLList},
                                {cmdSaveURLlist, cmdLoadURLlist}}));

    // Download list.
    frameDownloadList = new QGroupBox(QStringLiteral("downloadlist"), this);
    frameDownloadList->setObjectName(QStringLiteral("frameDownloadList"));
    frameDownloadList->setToolTip(
        QStringLiteral("files to download and the state of their downloads"));
    ListView1 = makeListView("ListView1", downloads);
    ListView1->setItemDelegateForColumn(DownloadListModel::ColProgress,
                                        new ProgressDelegate(ListView1));
    ListView1->setItemDelegateForColumn(DownloadListModel::ColFilename,
                                        new FileNameDelegate(ListView1));
    Command1 = makeButton("Command1", QStringLiteral("start all downloads in list"),
                          QStringLiteral("start every waiting download of the list"));
    cmdRestartSelectedDownloads =
        makeButton("cmdRestartSelectedDownloads", QStringLiteral("(re)start selected downloads"),
                   QStringLiteral("start the selected downloads again, whatever their state"));
    cmdStopDownload = makeButton("cmdStopDownload", QStringLiteral("abort selected download jobs"),
                                 QStringLiteral("abort the selected running downloads"));
    cmdStopAllRunningDownloads = makeButton("cmdStopAllRunningDownloads", QString(),
                                            QStringLiteral("stop all running downloads"));
    cmdStopAllRunningDownloads->setIcon(StopIcon());
    cmdStopAllRunningDownloads->setIconSize(QSize(16, 16));
    cmdStopAllRunningDownloads->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    cmdDeleteFromList = makeButton(
        "cmdDeleteFromList", QStringLiteral("delete selected entries from list"),
        QStringLiteral("delete the selected entries from the downloadlist; running downloads "
                       "stay"));
    Command2 = makeButton("Command2", ClearListCaption,
                          QStringLiteral("stop all downloads and empty the downloadlist"));
    cmdOpenTargetDir = makeButton(
        "cmdOpenTargetDir", QStringLiteral("open target directory"),
        QStringLiteral("open the directory of the selected file, or the target directory, in "
                       "the file explorer"));
    cmdPictureMode = makeButton(
        "cmdPictureMode", QStringLiteral("picture mode"),
        QStringLiteral("picture mode - Attention: you cannot use the delete or stop buttons "
                       "because every time you click on a file the file will be shown in the "
                       "new opened picture window!"));
    cmdPictureMode->setCheckable(true);
    cmdForgetArchive = makeButton("cmdForgetArchive", QStringLiteral("forget downloaded files"),
                                  QStringLiteral("forget which files were downloaded before, so "
                                                 "that harvests fetch them again"));
    cmdSaveDownloadlist = makeButton("cmdSaveDownloadlist", QStringLiteral("save list"),
                                     QStringLiteral("save actual downloadlist"));
    cmdLoadDownloadlist = makeButton("cmdLoadDownloadlist", QStringLiteral("load list"),
                                     QStringLiteral("load saved downloadlist"));

    ListWithButtons(frameDownloadList, ListView1,
                    ButtonGrid({{Command1},
                                {cmdRestartSelectedDownloads},
                                {cmdStopDownload, cmdStopAllRunningDownloads},
                                {cmdDeleteFromList},
                                {Command2},
                                {cmdOpenTargetDir},
                                {cmdPictureMode},
                                {cmdForgetArchive},
                                {cmdSaveDownloadlist, cmdLoadDownloadlist}}));

    // Status line under the lists: the crawl depth, then the overall
    // progress of downloads and harvest.
    label1 = new QLabel(this);
    label1->setObjectName(QStringLiteral("label1"));
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    // A long line is cut rather than widening the window.
    lblStatus->setMinimumWidth(1);
    lblStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    Picture1 = new QLabel(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setFixedSize(24, 24);
    auto *statusLayout = new QHBoxLayout;
    statusLayout->setSpacing(12);
    statusLayout->addWidget(label1);
    statusLayout->addWidget(lblStatus, 1);
    statusLayout->addWidget(Picture1);

    // The download list gets most of the height; both frames follow the
    // window's size.
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 2);
    layout->setSpacing(3);
    layout->addWidget(frameURLList, 1);
    layout->addWidget(frameDownloadList, 2);
    layout->addLayout(statusLayout);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(4000);

    resize(1000, 650);
}

frmDownloadData::~frmDownloadData() = default;

QPushButton *frmDownloadData::makeButton(const char *name, const QString &caption,
                                         const QString &toolTip)
{
    // Long captions wrap, so the window fits the URL bar's width.
    auto *button = new WrapButton(caption, Twips::ToPixels(2200, logicalDpiX()), this);
    button->setObjectName(QLatin1String(name));
    button->setToolTip(toolTip);
    return button;
}

QTreeView *frmDownloadData::makeListView(const char *name, ListModel &model)
{
    auto *view = new QTreeView(this);
    view->setObjectName(QLatin1String(name));
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);
    view->setItemsExpandable(false);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Long paths lose their middle, so that the file's own name stays visible.
    view->setTextElideMode(Qt::ElideMiddle);
    view->setModel(&model);
    // The model owns the selection, so that the commands read what the user
    // selected; the selection model the view made for itself goes.
    QItemSelectionModel *own = view->selectionModel();
    view->setSelectionModel(model.selectionModel());
    if (own != model.selectionModel()) delete own;
    for (int column = 0; column < model.columnCount(); ++column)
        view->setColumnHidden(column, false);
    view->header()->setStretchLastSection(true);
    // The list shrinks with a small window, never below about five rows.
    const int rowHeight = view->fontMetrics().height() + 4;
    view->setMinimumHeight(view->header()->sizeHint().height() + 5 * rowHeight +
                           2 * view->frameWidth());
    return view;
}
