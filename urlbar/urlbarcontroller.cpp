#include "urlbarcontroller.h"

#include "frmraiseie.h"
#include "frmwebbrowser.h"
#include "listbusylock.h"
#include "programstate.h"
#include "questions.h"
#include "raiselower.h"
#include "urlbarlogic.h"
#include "urllistmodel.h"

#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWebEngineView>

UrlBarController::UrlBarController(frmRaiseIE &bar, frmWebbrowser *browser, UrlBarState &state,
                                   UrlListModel &urls, DownloadState &downloads,
                                   Questions &questions, LanguageTexts &texts, QObject *parent)
    : QObject(parent), m_bar(bar), m_browser(browser), m_state(state), m_urls(urls),
      m_downloads(downloads), m_questions(questions), m_texts(texts)
{
    connect(bar.UseItCommand, &QPushButton::clicked, this, &UrlBarController::UseIt);
    connect(bar.ScrollLeft, &QPushButton::clicked, this, &UrlBarController::ScrollLeft_Click);
    connect(bar.ScrollRight, &QPushButton::clicked, this, &UrlBarController::ScrollRight_Click);
    connect(bar.ToURLListCommand, &QPushButton::clicked, this,
            &UrlBarController::ToURLListCommand_Click);
    connect(bar.RaiseLowerCommand, &QPushButton::clicked, this,
            &UrlBarController::RaiseLowerCommand_Click);
    for (int index = 0; index < frmRaiseIE::ViewLength; ++index)
        connect(bar.Command1[index], &QPushButton::clicked, this,
                [this, index] { Command1_Click(index); });
    // The poll catches what the change signal misses and the other way round;
    // the same text seen twice counts once.
    connect(bar.Timer1, &QTimer::timeout, this, &UrlBarController::Timer1_Timer);
    if (QClipboard *clipboard = QGuiApplication::clipboard())
        connect(clipboard, &QClipboard::dataChanged, this, &UrlBarController::Timer1_Timer);
    bar.setMouseTracking(true);
    bar.installEventFilter(this);
}

void UrlBarController::UseIt()
{
    if (m_browser) {
        m_browser->cmdDownload->setEnabled(true);
        m_browser->cmdForeward->setEnabled(true);
        m_browser->cmdBack->setEnabled(true);
    }
    m_state.RLText = m_bar.TextFromClipboard->text().trimmed();
    m_state.RLLength = int(m_state.RLText.size());
    m_state.RLMarks = QString(m_state.RLLength, QLatin1Char(' '));
    // Counters usually sit at the end: show the last twenty characters.
    m_state.RLViewStart = m_state.RLLength < 20 ? 1 : m_state.RLLength - 19;
    ShowRLView();
    if (m_browser && m_browser->WebBrowser1->url().toString().trimmed() != m_state.RLText) {
        m_browser->txtURL->setText(m_state.RLText);
        m_browser->WebBrowser1->load(QUrl::fromUserInput(m_state.RLText));
    }
}

void UrlBarController::ShowRLView()
{
    for (int i = 0; i < frmRaiseIE::ViewLength; ++i) {
        const int position = m_state.RLViewStart + i; // 1-based
        const bool inside = position >= 1 && position <= m_state.RLText.size();
        m_bar.Command1[i]->setText(inside ? QString(m_state.RLText.at(position - 1)) : QString());
        const bool marked = position >= 1 && position <= m_state.RLMarks.size();
        m_bar.RLLabel[i]->setText(marked ? QString(m_state.RLMarks.at(position - 1)) : QString());
    }
}

void UrlBarController::ScrollLeft_Click()
{
    m_state.RLLength = int(m_state.RLText.size());
    if (m_state.RLViewStart > 1) {
        --m_state.RLViewStart;
        ShowRLView();
    }
}

void UrlBarController::ScrollRight_Click()
{
    m_state.RLLength = int(m_state.RLText.size());
    if (m_state.RLViewStart < m_state.RLLength - 19) {
        ++m_state.RLViewStart;
        ShowRLView();
    }
}

void UrlBarController::Command1_Click(int index)
{
    const int position = m_state.RLViewStart + index;
    // A button that shows no character does nothing.
    if (position < 1 || position > m_state.RLText.size()) return;
    MarkClick(m_state.RLText, m_state.RLMarks, position);
    ShowRLView();
}

QStringList UrlBarController::UrlRow(const QString &address) const
{
    QStringList row{address};
    if (UrlRowOptions) row += UrlRowOptions();
    return row;
}

void UrlBarController::ToURLListCommand_Click()
{
    // Hold the lists like every list command does while the row goes in.
    ListBusyLock busy(m_downloads);
    if (!busy) return;
    m_urls.appendRows({UrlRow(m_bar.TextFromClipboard->text())});
}

void UrlBarController::RaiseLowerCommand_Click()
{
    ++m_state.RLClickCount;
    m_state.RLRepeat = 1;
    if (m_state.RLClickCount == 5) {
        if (m_questions.Message(m_texts.LangText(1), Questions::Buttons::YesNo,
                                Questions::Icon::Question,
                                m_texts.LangText(2)) == Questions::Answer::Yes) {
            const std::optional<QString> answer =
                m_questions.Input(m_texts.LangText(3), QString(), QStringLiteral("10"));
            if (answer && !answer->isEmpty()) m_state.RLRepeat = UrlBarLogic::SeriesLength(*answer);
        }
        m_state.RLClickCount = 0;
    }
    // The question is answered before the lists are taken; the whole series
    // then goes in as one insertion.
    ListBusyLock busy(m_downloads);
    if (!busy) return;
    QList<QStringList> rows;
    for (int step = 0; step < m_state.RLRepeat; ++step) {
        ::RaiseLower(m_state.RLText, m_state.RLMarks);
        rows.append(UrlRow(m_state.RLText));
    }
    m_state.RLLength = int(m_state.RLText.size());
    m_state.RLViewStart = UrlBarLogic::ClampViewStart(m_state.RLViewStart, m_state.RLLength);
    ShowRLView();
    m_urls.appendRows(rows);
}

void UrlBarController::RaiseLower()
{
    ::RaiseLower(m_state.RLText, m_state.RLMarks);
    m_state.RLLength = int(m_state.RLText.size());
    // Growth leaves the view where it was; a shrunk text pulls it back in.
    m_state.RLViewStart = UrlBarLogic::ClampViewStart(m_state.RLViewStart, m_state.RLLength);
    ShowRLView();
}

void UrlBarController::SwapRL()
{
    SwapMarks(m_state.RLMarks);
    ShowRLView();
}

void UrlBarController::Timer1_Timer()
{
    const QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard) return;
    const UrlBarLogic::ClipboardText seen =
        UrlBarLogic::ClipboardSeen(clipboard->text(), m_state.LastClipboardText);
    if (seen.kind == UrlBarLogic::ClipboardText::Lines) {
        if (OfferClipboardCapture) OfferClipboardCapture();
    } else if (seen.kind == UrlBarLogic::ClipboardText::Address) {
        m_bar.TextFromClipboard->setText(seen.address);
        if (Clipboard2URLList && Clipboard2URLList()) ToURLListCommand_Click();
    }
}

bool UrlBarController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &m_bar &&
        (event->type() == QEvent::Enter || event->type() == QEvent::MouseMove)) {
        // The bar takes the input focus when the mouse comes over it.
        if (m_bar.isVisible() && !m_bar.isActiveWindow()) m_bar.activateWindow();
    }
    return QObject::eventFilter(watched, event);
}
