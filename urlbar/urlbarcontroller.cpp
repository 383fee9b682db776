#include "urlbarcontroller.h"

#include "frmraiseie.h"
#include "frmwebbrowser.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWebEngineView>

UrlBarController::UrlBarController(frmRaiseIE &bar, frmWebbrowser *browser, UrlBarState &state,
                                   QObject *parent)
    : QObject(parent), m_bar(bar), m_browser(browser), m_state(state)
{
    connect(bar.UseItCommand, &QPushButton::clicked, this, &UrlBarController::UseIt);
    connect(bar.ScrollLeft, &QPushButton::clicked, this, &UrlBarController::ScrollLeft_Click);
    connect(bar.ScrollRight, &QPushButton::clicked, this, &UrlBarController::ScrollRight_Click);
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
