#include "downloadwindowcontroller.h"

#include "downloadarchive.h"
#include "downloadengine.h"
#include "downloadlistmodel.h"
#include "downloadstate.h"
#include "failurewords.h"
#include "frmdownloaddata.h"
#include "listbusylock.h"
#include "listfiles.h"
#include "programstate.h"
#include "questions.h"
#include "statewords.h"
#include "urllistmodel.h"

#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QHeaderView>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QUrl>

#include <algorithm>
#include <utility>

namespace
{

// A column wide enough for a sample text and for its caption.
void FitColumn(QTreeView *view, int column, const QString &sample)
{
    const int text = view->fontMetrics().horizontalAdvance(sample) + 16;
    view->setColumnWidth(column, std::max(text, view->header()->sectionSizeHint(column)));
}

// The widest state word of the language, as the State column shows it.
QString LongestStateWord(const LanguageTexts &texts)
{
    QString longest;
    for (QLatin1StringView word :
         {StateDone, StateProgress, StateFailed, StateTooSmall, StateAborted}) {
        const QString shown = StateShown(word, texts);
        if (shown.size() > longest.size()) longest = shown;
    }
    return longest;
}

} // namespace

DownloadWindowController::DownloadWindowController(frmDownloadData &window, DownloadEngine &engine,
                                                   DownloadState &state, Questions &questions,
                                                   LanguageTexts &texts, ProgramSettings &settings,
                                                   QObject *parent)
    : QObject(parent), m_window(window), m_engine(engine), m_state(state), m_questions(questions),
      m_texts(texts), m_settings(settings)
{
    OpenFolder = [](const QString &folder) {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    };
    auto click = [this](QPushButton *button, void (DownloadWindowController::*handler)()) {
        connect(button, &QPushButton::clicked, this, handler);
    };
    click(window.Command1, &DownloadWindowController::Command1_Click);
    click(window.cmdRestartSelectedDownloads,
          &DownloadWindowController::cmdRestartSelectedDownloads_Click);
    click(window.cmdStopAllRunningDownloads,
          &DownloadWindowController::cmdStopAllRunningDownloads_Click);
    click(window.cmdStopDownload, &DownloadWindowController::cmdStopDownload_Click);
    click(window.cmdDeleteFromList, &DownloadWindowController::cmdDeleteFromList_Click);
    click(window.Command2, &DownloadWindowController::Command2_Click);
    click(window.cmdOpenTargetDir, &DownloadWindowController::cmdOpenTargetDir_Click);
    click(window.cmdForgetArchive, &DownloadWindowController::cmdForgetArchive_Click);
    click(window.cmdPut2DownloadList, &DownloadWindowController::cmdPut2DownloadList_Click);
    click(window.cmdStopFillingDownloadlist,
          &DownloadWindowController::cmdStopFillingDownloadlist_Click);
    click(window.cmdDeleteFromURLList, &DownloadWindowController::cmdDeleteFromURLList_Click);
    click(window.cmdClearURLList, &DownloadWindowController::cmdClearURLList_Click);
    click(window.cmdSaveDownloadlist, &DownloadWindowController::cmdSaveDownloadlist_Click);
    click(window.cmdSaveURLlist, &DownloadWindowController::cmdSaveURLlist_Click);
    click(window.cmdLoadDownloadlist, &DownloadWindowController::cmdLoadDownloadlist_Click);
    click(window.cmdLoadURLlist, &DownloadWindowController::cmdLoadURLlist_Click);
    connect(window.ListView2, &QTreeView::clicked, this,
            [this](const QModelIndex &index) { ListView2_ItemClick(index.row() + 1); });
    connect(&engine, &DownloadEngine::PassEnded, this, [this] {
        m_window.Command1->setEnabled(true);
        m_window.cmdRestartSelectedDownloads->setEnabled(true);
    });
    // Whatever adds rows (a crawl, a load, the clipboard) makes the list
    // clearable again, and rows that can start make "start all" usable at
    // once rather than at the next button tick.
    connect(&window.downloadModel(), &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) {
                m_window.Command2->setEnabled(true);
                const DownloadListModel &list = m_window.downloadModel();
                for (int row = first + 1; row <= last + 1; ++row) {
                    if (!IsWaitingState(list.subItem(row, DownloadListModel::ColState))) continue;
                    m_window.Command1->setEnabled(true);
                    break;
                }
            });
    connect(window.Timer1, &QTimer::timeout, this, &DownloadWindowController::Timer1_Timer);
    window.Timer1->start();

    // The runner's buttons: offered once a URL-list row is clicked, and its
    // stop only while it runs.
    window.cmdPut2DownloadList->setEnabled(false);
    window.cmdStopFillingDownloadlist->setEnabled(false);

    // The fixed columns fit their longest texts and their captions (again
    // when the language changes them); the file name and the URL take the
    // rest of the width (Form_Resize).
    window.ListView1->header()->setStretchLastSection(false);
    window.ListView2->header()->setStretchLastSection(false);
    FitColumns();
    connect(&window.downloadModel(), &QAbstractItemModel::headerDataChanged, this,
            &DownloadWindowController::FitColumns);
    connect(&window.urlModel(), &QAbstractItemModel::headerDataChanged, this,
            &DownloadWindowController::FitColumns);
    // Column widths the user drags go into the settings.
    connect(window.ListView1->header(), &QHeaderView::sectionResized, this, [this](int column) {
        if (!m_fitting) ColumnResized(column);
    });
    window.setMouseTracking(true);
    window.installEventFilter(this);
    window.ListView1->viewport()->installEventFilter(this);
    window.ListView2->viewport()->installEventFilter(this);
}

bool DownloadWindowController::RowIsRunning(int row) const
{
    for (int base = 1; base < DownloadEngine::PoolSize; base += DownloadEngine::GroupSize)
        if (row >= 1 && m_engine.RowOfBase(base) == row) return true;
    return false;
}

void DownloadWindowController::Command1_Click()
{
    m_state.StopRequested = false;
    m_window.cmdDeleteFromList->setEnabled(false);
    m_window.cmdRestartSelectedDownloads->setEnabled(false);
    if (HarvestTakesStart && HarvestTakesStart(false, {})) return;
    m_engine.DownloadFilesFromLV(false);
}

void DownloadWindowController::cmdRestartSelectedDownloads_Click()
{
    m_state.StopRequested = false;
    m_window.cmdDeleteFromList->setEnabled(false);
    m_window.Command1->setEnabled(false);
    // During a harvest the rows restart through it, as groups free.
    if (HarvestTakesStart && HarvestTakesStart(true, m_window.downloadModel().selectedRows())) {
        m_window.Command1->setEnabled(true);
        m_window.cmdRestartSelectedDownloads->setEnabled(true);
        return;
    }
    m_engine.DownloadFilesFromLV(true);
}

void DownloadWindowController::cmdStopAllRunningDownloads_Click()
{
    m_state.StopRequested = true;
    m_engine.KillAllDownloads();
}

void DownloadWindowController::cmdStopDownload_Click()
{
    // Every slot of the row's group stops, probe and parts alike; a row no
    // group serves stays as it is.
    ListBusyLock busy(m_state);
    if (!busy) return;
    const DownloadListModel &list = m_window.downloadModel();
    for (int row : list.selectedRows())
        m_engine.StopRow(row);
}

void DownloadWindowController::cmdDeleteFromList_Click()
{
    // Running rows stay; the engine renumbers the groups of the rows below.
    ListBusyLock busy(m_state);
    if (!busy) return;
    DownloadListModel &list = m_window.downloadModel();
    QList<int> rows = list.selectedRows();
    rows.removeIf([this](int row) { return RowIsRunning(row); });
    list.removeRowsAt(rows);
}

void DownloadWindowController::Command2_Click()
{
    m_state.LastRow = 0;
    m_state.CurrentRow = 0;
    m_state.PageFetched = false;
    if (ClearStartAddresses) ClearStartAddresses();
    m_engine.KillAllDownloads();
    m_window.downloadModel().clear();
    for (QPushButton *button :
         {m_window.Command1, m_window.cmdStopDownload, m_window.cmdDeleteFromList,
          m_window.cmdStopAllRunningDownloads, m_window.Command2})
        button->setEnabled(false);
}

void DownloadWindowController::cmdForgetArchive_Click()
{
    if (!Archive) return;
    const QString question = m_texts.Text(
        QStringLiteral("ARCHIVEFORGET"),
        QStringLiteral(
            "Forget every file downloaded before? Later harvests will fetch them again."));
    if (m_questions.Message(question, Questions::Buttons::YesNo, Questions::Icon::Question,
                            m_texts.LangText(19)) == Questions::Answer::Yes)
        Archive->Forget();
}

void DownloadWindowController::cmdOpenTargetDir_Click()
{
    const DownloadListModel &list = m_window.downloadModel();
    const QList<int> selected = list.selectedRows();
    if (list.count() == 0 || selected.isEmpty()) {
        ShowFolder(m_settings.TargetDir);
        return;
    }
    // The selected row's folder, when it holds a file by now.
    const QString file = list.text(selected.first());
    const QString folder = file.left(file.lastIndexOf(QLatin1Char('/')) + 1);
    if (folder.isEmpty() || QDir(folder).entryList(QDir::Files | QDir::Hidden).isEmpty()) {
        m_questions.Message(m_texts.LangText(5), Questions::Buttons::Ok);
        return;
    }
    ShowFolder(folder);
}

void DownloadWindowController::ShowFolder(const QString &folder)
{
    // Without a file manager the desktop cannot show the folder: say so.
    if (!OpenFolder || OpenFolder(folder)) return;
    m_questions.Message(m_texts
                            .Text(QStringLiteral("NOFILEMANAGER"),
                                  QStringLiteral("No file manager could show the folder %1."))
                            .arg(folder),
                        Questions::Buttons::Ok, Questions::Icon::Warning, QString());
}

void DownloadWindowController::cmdPut2DownloadList_Click()
{
    if (m_filling || !FillDownloadList) return;
    m_filling = true;
    m_state.StopFilling = false;
    m_window.cmdStopFillingDownloadlist->setEnabled(true);
    const std::optional<bool> aborted = FillDownloadList();
    if (aborted)
        m_window.setWindowTitle(
            *aborted ? m_texts.Text(QStringLiteral("FILLINGABORTED"),
                                    QStringLiteral("aborted filling downloadlist by user"))
                     : m_texts.Text(QStringLiteral("FILLINGFINISHED"),
                                    QStringLiteral("finished filling downloadlist")));
    m_window.cmdStopFillingDownloadlist->setEnabled(false);
    m_filling = false;
}

void DownloadWindowController::cmdStopFillingDownloadlist_Click()
{
    m_state.StopFilling = true;
}

void DownloadWindowController::cmdDeleteFromURLList_Click()
{
    ListBusyLock busy(m_state);
    if (!busy) return;
    UrlListModel &urls = m_window.urlModel();
    urls.removeRowsAt(urls.selectedRows());
}

void DownloadWindowController::cmdClearURLList_Click()
{
    m_window.urlModel().clear();
}

void DownloadWindowController::ListView2_ItemClick(int)
{
    m_window.cmdPut2DownloadList->setEnabled(true);
}

QString DownloadWindowController::ListFilter() const
{
    const QString filter = m_texts.LangText(10);
    return filter.isEmpty() ? QStringLiteral("*.gfl") : filter;
}

void DownloadWindowController::Report(int text, const QString &fallback, const QString &path)
{
    const QString message = m_texts.LangText(text).isEmpty() ? fallback : m_texts.LangText(text);
    m_questions.Message(message + QLatin1Char('\n') + QDir::toNativeSeparators(path),
                        Questions::Buttons::Ok, Questions::Icon::Warning, m_texts.LangText(19));
}

void DownloadWindowController::SaveList(bool downloads)
{
    const QString title = m_texts.LangText(downloads ? 13 : 11);
    const QString path = m_questions.SaveFileName(title, QString(), ListFilter());
    if (path.isEmpty()) return;
    const QList<QStringList> rows = downloads ? ListFiles::DownloadRowsOf(m_window.downloadModel())
                                              : ListFiles::RowsOf(m_window.urlModel());
    if (!ListFiles::WriteFile(path, ListFiles::Serialise(rows)))
        Report(17, QStringLiteral("The list file could not be written."), path);
}

void DownloadWindowController::cmdSaveDownloadlist_Click()
{
    SaveList(true);
}

void DownloadWindowController::cmdSaveURLlist_Click()
{
    SaveList(false);
}

void DownloadWindowController::cmdLoadDownloadlist_Click()
{
    const QString path = m_questions.OpenFileName(m_texts.LangText(14), QString(), ListFilter());
    if (path.isEmpty()) return;
    const std::optional<QString> text = ListFiles::ReadFile(path);
    if (!text) {
        Report(18, QStringLiteral("The list file could not be read."), path);
        return;
    }
    const ListFiles::DownloadRows rows = ListFiles::DownloadListRows(
        *text, RowOptions ? RowOptions() : UrlRows::AddressRowOptions());
    if (rows.StartEnabled) m_window.Command1->setEnabled(true);
    DownloadListModel &list = m_window.downloadModel();
    ListFiles::AppendDownloadRows(list, m_state, rows.Rows);
    if (list.count() > 0) {
        m_window.Command2->setEnabled(true);
        m_window.cmdRestartSelectedDownloads->setEnabled(true);
        m_window.cmdDeleteFromList->setEnabled(true);
    }
}

void DownloadWindowController::cmdLoadURLlist_Click()
{
    const QString path = m_questions.OpenFileName(m_texts.LangText(12), QString(), ListFilter());
    if (path.isEmpty()) return;
    const std::optional<QString> text = ListFiles::ReadFile(path);
    if (!text) {
        Report(18, QStringLiteral("The list file could not be read."), path);
        return;
    }
    ListFiles::AppendUrlRows(m_window.urlModel(), ListFiles::UrlListRows(*text));
}

void DownloadWindowController::Timer1_Timer()
{
    const DownloadEngine::ButtonStates b = m_engine.Timer1States();
    m_window.cmdDeleteFromList->setEnabled(b.DeleteFromList);
    m_window.cmdStopDownload->setEnabled(b.StopDownload);
    m_window.cmdStopAllRunningDownloads->setEnabled(b.StopAllRunningDownloads);
    if (!b.Busy) m_window.Command1->setEnabled(b.Command1);
}

void DownloadWindowController::FitColumns()
{
    const bool wasFitting = std::exchange(m_fitting, true);
    QTreeView *downloads = m_window.ListView1;
    const std::pair<int, QString> samples[] = {
        {DownloadListModel::ColProgress, QStringLiteral("100%")},
        {DownloadListModel::ColSize, QStringLiteral("99999999/99999999 bytes")},
        {DownloadListModel::ColState, LongestStateWord(m_texts)},
        {DownloadListModel::ColSource, QString(40, QLatin1Char('x'))},
        {DownloadListModel::ColTargetDir, QString(24, QLatin1Char('x'))},
        {DownloadListModel::ColMainURL, QString(20, QLatin1Char('x'))},
        {DownloadListModel::ColMinFileSize, QStringLiteral("0000000")},
        {DownloadListModel::ColMdnlNumber, QStringLiteral("0000000")},
        {DownloadListModel::ColRef, QString(40, QLatin1Char('x'))},
    };
    for (const auto &[column, sample] : samples)
        FitColumn(downloads, column, sample);
    for (int column = UrlListModel::ColFileTypes; column < UrlListModel::UrlColumnCount; ++column)
        FitColumn(m_window.ListView2, column, QStringLiteral("0;0;0;0;0;"));
    // The widths the user gave the download list's columns win.
    const QStringList widths = m_settings.ColumnWidths.split(QLatin1Char(','));
    m_ownFileWidth = false;
    for (int column = 0; column < widths.size() && column < downloads->model()->columnCount();
         ++column) {
        const int width = widths[column].trimmed().toInt();
        if (width < 8) continue;
        downloads->setColumnWidth(column, width);
        if (column == DownloadListModel::ColFilename) m_ownFileWidth = true;
    }
    Form_Resize();
    m_fitting = wasFitting;
}

void DownloadWindowController::ColumnResized(int column)
{
    // Every width the user drags is kept for the next start; the file name
    // keeps filling the list until the user gives it a width of its own.
    if (column == DownloadListModel::ColFilename) m_ownFileWidth = true;
    QStringList widths;
    QTreeView *downloads = m_window.ListView1;
    for (int c = 0; c < downloads->model()->columnCount(); ++c)
        widths << QString::number(
            c == DownloadListModel::ColFilename && !m_ownFileWidth ? 0 : downloads->columnWidth(c));
    m_settings.ColumnWidths = widths.join(QLatin1Char(','));
    if (column != DownloadListModel::ColFilename) Form_Resize();
}

void DownloadWindowController::Form_Resize()
{
    // The frames and lists follow the window through its layout; here the
    // file name (with progress, size and state beside it) and the URL fill
    // the visible width of their lists.
    QTreeView *downloads = m_window.ListView1;
    int fixed = 0;
    for (int column :
         {DownloadListModel::ColProgress, DownloadListModel::ColSize, DownloadListModel::ColState})
        fixed += downloads->columnWidth(column);
    const bool wasFitting = std::exchange(m_fitting, true);
    if (!m_ownFileWidth)
        downloads->setColumnWidth(DownloadListModel::ColFilename,
                                  std::max(120, downloads->viewport()->width() - fixed));
    QTreeView *urls = m_window.ListView2;
    urls->setColumnWidth(
        UrlListModel::ColURL,
        std::max(120, urls->viewport()->width() - urls->columnWidth(UrlListModel::ColFileTypes)));
    m_fitting = wasFitting;
}

void DownloadWindowController::Form_MouseMove()
{
    if (!m_window.isActiveWindow()) m_window.activateWindow();
    if (!m_window.hasFocus()) m_window.setFocus(Qt::MouseFocusReason);
}

bool DownloadWindowController::eventFilter(QObject *watched, QEvent *event)
{
    // The lists' viewports are resized once the layout has fitted the
    // frames to the window.
    if (event->type() == QEvent::Resize &&
        (watched == m_window.ListView1->viewport() || watched == m_window.ListView2->viewport()))
        Form_Resize();
    else if (watched == &m_window && event->type() == QEvent::MouseMove)
        Form_MouseMove();
    return QObject::eventFilter(watched, event);
}
