#pragma once

#include "urlbarstate.h"

#include <QObject>

class frmRaiseIE;
class frmWebbrowser;

// The URL bar's commands on its working address. "Use it" makes the text box's
// address the working address and shows its last twenty characters; the
// counting commands come with the address counting.
class UrlBarController : public QObject
{
    Q_OBJECT
public:
    UrlBarController(frmRaiseIE &bar, frmWebbrowser *browser, UrlBarState &state,
                     QObject *parent = nullptr);

    void UseIt();
    // Shows RLText and RLMarks from RLViewStart on the character buttons.
    void ShowRLView();
    void ScrollLeft_Click();
    void ScrollRight_Click();

private:
    frmRaiseIE &m_bar;
    frmWebbrowser *m_browser;
    UrlBarState &m_state;
};
