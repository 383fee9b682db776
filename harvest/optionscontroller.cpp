#include "optionscontroller.h"

#include "clipboardcapture.h"
#include "crawler.h"
#include "downloadengine.h"
#include "downloadlistmodel.h"
#include "downloadstate.h"
#include "frmrlie.h"
#include "harvestsession.h"
#include "leadingnumber.h"
#include "programstate.h"
#include "questions.h"
#include "twips.h"
#include "urllistmodel.h"
#include "urllistrunner.h"

#include <QCheckBox>
#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace
{

constexpr int MaxStartAddresses = 10000;
constexpr qint64 LongPressMs = 4000;

QString Flag(const QCheckBox *box)
{
    return box->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

OptionsController::OptionsController(frmRLIE &window, Crawler &crawler, DownloadState &downloads,
                                     ProgramSettings &settings, UrlListModel &urls,
                                     DownloadListModel &list, Questions &questions,
                                     LanguageTexts &texts, std::function<QString()> workingAddress,
                                     QObject *parent)
    : QObject(parent), m_window(window), m_crawler(crawler), m_downloads(downloads),
      m_settings(settings), m_urls(urls), m_list(list), m_questions(questions), m_texts(texts),
      m_workingAddress(std::move(workingAddress))
{
    auto click = [this](QPushButton *button, void (OptionsController::*handler)()) {
        connect(button, &QPushButton::clicked, this, handler);
    };
    click(window.Command2, &OptionsController::Command2_Click);
    click(window.cmdAttachOptions2URLList, &OptionsController::cmdAttachOptions2URLList_Click);
    click(window.cmdAttachOptions2Downloadlist,
          &OptionsController::cmdAttachOptions2Downloadlist_Click);
    click(window.cmdUp, &OptionsController::cmdUp_Click);
    click(window.cmdDown, &OptionsController::cmdDown_Click);
    click(window.cmdUpIndex, &OptionsController::cmdUpIndex_Click);
    click(window.cmdDownIndex, &OptionsController::cmdDownIndex_Click);
    click(window.cmdTargetDir, &OptionsController::cmdTargetDir_Click);
    click(window.Command3, &OptionsController::Command3_Click);
    click(window.cmdGetFilesFromCP, &OptionsController::cmdGetFilesFromCP_Click);
    connect(window.cmdStopDnl, &QPushButton::pressed, this,
            &OptionsController::cmdStopDnl_MouseDown);
    connect(window.cmdStopDnl, &QPushButton::released, this,
            &OptionsController::cmdStopDnl_MouseUp);

    // Every check box drives its flag at once; the type boxes the filters.
    for (QCheckBox *box : {window.chkClipboard2URLList, window.chkDoExtraClick,
                           window.chkJustGoDown, window.chkMultiDnl, window.chkStayOnsite,
                           window.chkUniqueFilename, window.chkViewBrowser})
        connect(box, &QCheckBox::toggled, this, &OptionsController::ReadFlags);
    for (QCheckBox *box : window.Check1)
        connect(box, &QCheckBox::toggled, this, &OptionsController::UpdateFilters);
    connect(window.txtManualType, &QLineEdit::textChanged, this, &OptionsController::UpdateFilters);
    connect(window.txtSearchPattern, &QLineEdit::textChanged, this,
            &OptionsController::UpdateFilters);
    connect(window.txtMinFileSize, &QLineEdit::textChanged, this,
            [this](const QString &text) { m_crawler.MinFileSizeText = text; });
    connect(window.txtMultiDnl, &QLineEdit::textEdited, this, [this](const QString &text) {
        if (!text.isEmpty()) m_downloads.PartSizeKB = int(LeadingNumber(text));
    });
    ReadFlags();
    UpdateFilters();
    m_crawler.MinFileSizeText = window.txtMinFileSize->text();
    // The options kept in the settings file start from it and go back into it.
    window.chkModernPictures->setChecked(settings.ModernPictures);
    connect(window.chkModernPictures, &QCheckBox::toggled, this,
            [this](bool on) { m_settings.ModernPictures = on; });
    connect(window.txtPerServer, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_settings.PerServer = m_downloads.PerServer =
            int(qMin<qint64>(LeadingNumber(text), frmRLIE::MaxSimultaneousDownloads));
    });
    window.txtPerServer->setText(QString::number(settings.PerServer));
    m_downloads.PerServer = settings.PerServer;

    m_session = std::make_unique<HarvestSession>(crawler, downloads);
    // After a harvest the window's own boxes are in force again.
    m_session->RestoreFilters = [this] { UpdateFilters(); };
    m_runner = std::make_unique<UrlListRunner>(urls, crawler, downloads, *m_session);
    m_runner->TakenColor = window.palette().color(QPalette::Inactive, QPalette::Mid);
    m_runner->AddStartAddress = [this](const QString &address) { AddStartAddress(address); };
}

OptionsController::~OptionsController() = default;

std::optional<bool> OptionsController::RunUrlList()
{
    // During a harvest the run is refused as the start button refuses.
    switch (m_runner->Run()) {
    case UrlListRunner::Outcome::Finished:
        return false;
    case UrlListRunner::Outcome::Stopped:
        return true;
    case UrlListRunner::Outcome::Refused:
        break;
    }
    RefuseHarvest();
    return std::nullopt;
}

void OptionsController::RefuseHarvest()
{
    m_questions.Message(m_texts.LangText(4), Questions::Buttons::Ok, Questions::Icon::Information,
                        QString());
}

UrlRows::AddressRowOptions OptionsController::AddressRowOptions() const
{
    return {m_window.txtTargetDir->text(), m_settings.TargetDir,
            LeadingNumber(m_window.txtMinFileSize->text()), m_crawler.Options.MultiDnl};
}

void OptionsController::AddStartAddress(const QString &address)
{
    if (StartAddresses.size() >= MaxStartAddresses) StartAddresses.removeFirst();
    StartAddresses.append(address);
}

void OptionsController::cmdGetFilesFromCP_Click()
{
    const QClipboard *clipboard = QGuiApplication::clipboard();
    const QString text = clipboard ? clipboard->text() : QString();
    ClipboardCapture::Capture(m_list, m_downloads, text, AddressRowOptions());
    m_window.cmdGetFilesFromCP->setEnabled(false);
    m_window.cmdGetFilesFromCP->hide();
}

std::function<bool(bool, const QList<int> &)>
OptionsController::AttachDownloads(DownloadEngine &engine)
{
    m_session->AttachDownloads(engine, m_list);
    return [this](bool restart, const QList<int> &rows) {
        return m_session->TakeStart(restart, rows);
    };
}

void OptionsController::ReadFlags()
{
    HarvestOptions &o = m_crawler.Options;
    o.Clipboard2URLList = m_window.chkClipboard2URLList->isChecked();
    o.DoExtraClick = m_window.chkDoExtraClick->isChecked();
    o.JustGoDown = m_window.chkJustGoDown->isChecked();
    o.MultiDnl = m_window.chkMultiDnl->isChecked();
    o.StayOnsite = m_window.chkStayOnsite->isChecked();
    o.UniqueFilename = m_window.chkUniqueFilename->isChecked();
    o.ViewBrowser = m_window.chkViewBrowser->isChecked();
}

void OptionsController::UpdateFilters()
{
    FileFilters::Boxes boxes{};
    for (int i = 0; i < FileFilters::BoxCount; ++i)
        boxes[i] = m_window.Check1[i]->isChecked();
    m_window.txtManualType->setEnabled(boxes[FileFilters::ManualTypeBox]);
    m_crawler.Filters = FileFilters::FromCheckBoxes(boxes, m_window.txtManualType->text(),
                                                    m_window.txtSearchPattern->text());
}

void OptionsController::Command2_Click()
{
    const QString address = m_workingAddress ? m_workingAddress() : QString();
    HarvestSession::Scope session(*m_session);
    if (!session) {
        RefuseHarvest();
        return;
    }
    UpdateFilters();
    ReadFlags();
    AddStartAddress(address);
    m_window.Command2->setEnabled(false);
    if (SetBrowserDownloadEnabled) SetBrowserDownloadEnabled(false);
    m_window.cmdStopDnl->show();
    m_crawler.StopHarvest = false;
    m_crawler.StopPage = false;
    m_crawler.StartHarvest(address);
}

void OptionsController::cmdStopDnl_MouseDown()
{
    m_stopPress.start();
}

void OptionsController::cmdStopDnl_MouseUp()
{
    StopPress(m_stopPress.isValid() ? m_stopPress.elapsed() : 0);
}

void OptionsController::StopPress(qint64 milliseconds)
{
    // A short press skips the page being fetched, a long one the harvest.
    const bool longPress = milliseconds >= LongPressMs;
    m_crawler.StopPage = !longPress;
    m_crawler.StopHarvest = longPress;
}

QStringList OptionsController::UrlRowOptions() const
{
    QString types;
    for (QCheckBox *box : m_window.Check1)
        types += Flag(box) + QLatin1Char(';');
    if (m_window.Check1[4]->isChecked()) types += m_window.txtManualType->text();
    QStringList columns(UrlListModel::UrlColumnCount - 1);
    auto set = [&columns](int column, const QString &text) { columns[column - 1] = text; };
    set(UrlListModel::ColFileTypes, types);
    set(UrlListModel::ColDepth, m_window.txtIndexDepth->text());
    set(UrlListModel::ColStayOnsite, Flag(m_window.chkStayOnsite));
    set(UrlListModel::ColJustGoDown, Flag(m_window.chkJustGoDown));
    set(UrlListModel::ColMinFileSize, m_window.txtMinFileSize->text());
    set(UrlListModel::ColUniqueFilename, Flag(m_window.chkUniqueFilename));
    set(UrlListModel::ColExtraClick, Flag(m_window.chkDoExtraClick));
    set(UrlListModel::ColFilePattern, m_window.txtSearchPattern->text().trimmed());
    return columns;
}

void OptionsController::cmdAttachOptions2URLList_Click()
{
    const QStringList columns = UrlRowOptions();
    for (int row = 1; row <= m_urls.count(); ++row) {
        if (!m_urls.isSelected(row)) continue;
        for (int column = 1; column < UrlListModel::UrlColumnCount; ++column)
            m_urls.setSubItem(row, column, columns.at(column - 1));
    }
}

void OptionsController::cmdAttachOptions2Downloadlist_Click()
{
    const QString minSize = QString::number(LeadingNumber(m_window.txtMinFileSize->text()) * 1024);
    const QString marker = m_window.chkMultiDnl->isChecked() ? QStringLiteral("TRUE") : QString();
    for (int row : m_list.selectedRows()) {
        // A running row keeps the options its transfer started with.
        if (RowIsRunning && RowIsRunning(row)) continue;
        m_list.setSubItem(row, DownloadListModel::ColMinFileSize, minSize);
        m_list.setSubItem(row, DownloadListModel::ColMdnlNumber, marker);
    }
}

void OptionsController::cmdUp_Click()
{
    qint64 value = LeadingNumber(m_window.txtSimultaneousDownloads->text());
    if (value < frmRLIE::MaxSimultaneousDownloads) ++value;
    m_window.txtSimultaneousDownloads->setText(QString::number(value));
    m_downloads.SimultaneousDownloads = int(value);
}

void OptionsController::cmdDown_Click()
{
    qint64 value = LeadingNumber(m_window.txtSimultaneousDownloads->text());
    if (value > 1) --value;
    m_window.txtSimultaneousDownloads->setText(QString::number(value));
    m_downloads.SimultaneousDownloads = int(value);
}

void OptionsController::cmdUpIndex_Click()
{
    const qint64 value = LeadingNumber(m_window.txtIndexDepth->text()) + 1;
    m_window.txtIndexDepth->setText(QString::number(value));
    m_crawler.Options.RecurseIndexDepth = int(qMin<qint64>(value, INT_MAX));
}

void OptionsController::cmdDownIndex_Click()
{
    qint64 value = LeadingNumber(m_window.txtIndexDepth->text());
    if (value > 1) --value;
    m_window.txtIndexDepth->setText(QString::number(value));
    m_crawler.Options.RecurseIndexDepth = int(qMin<qint64>(value, INT_MAX));
}

void OptionsController::cmdTargetDir_Click()
{
    const QString folder =
        m_questions.FolderName(QStringLiteral("Select destination"), m_settings.TargetDir);
    if (folder.isEmpty()) return;
    QString target = folder.trimmed();
    if (!target.endsWith(QLatin1Char('/'))) target += QLatin1Char('/');
    m_window.txtTargetDir->setText(folder);
    m_settings.TargetDir = target;
}

void OptionsController::Command3_Click()
{
    Expanded = !Expanded;
    m_window.resize(m_window.width(), m_window.HeightFor(Expanded));
}
