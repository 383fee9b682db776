#pragma once

#include "urlbarstate.h"

#include <QObject>
#include <QStringList>
#include <functional>

class LanguageTexts;
class Questions;
class UrlListModel;
class frmRaiseIE;
class frmWebbrowser;
struct DownloadState;

// The URL bar's commands on its working address: "use it", scrolling, the
// mark clicks, the counting steps, copying addresses into the URL list (one
// or a whole series), and the clipboard watch.
class UrlBarController : public QObject
{
    Q_OBJECT
public:
    UrlBarController(frmRaiseIE &bar, frmWebbrowser *browser, UrlBarState &state,
                     UrlListModel &urls, DownloadState &downloads, Questions &questions,
                     LanguageTexts &texts, QObject *parent = nullptr);

    // The harvest options a new URL-list row carries, columns 1 to 8 in order
    // (as the options window attaches them). Empty columns when unset.
    std::function<QStringList()> UrlRowOptions;
    // The clipboard option: a single copied address goes into the URL list too.
    std::function<bool()> Clipboard2URLList;
    // A copied text of several lines: offer to take the addresses out of it.
    std::function<void()> OfferClipboardCapture;

    void UseIt();
    // Shows RLText and RLMarks from RLViewStart on the character buttons.
    void ShowRLView();
    void ScrollLeft_Click();
    void ScrollRight_Click();
    // The character button at index was clicked: marks the character shown.
    void Command1_Click(int index);
    // Copy to URL list: the text box's address, unchanged, with the options.
    void ToURLListCommand_Click();
    // One counting step per press, a series on every fifth press if wanted,
    // each counted address a new URL-list row.
    void RaiseLowerCommand_Click();
    // One counting step on the working address, shown on the buttons.
    void RaiseLower();
    // R and L marks swap.
    void SwapRL();
    // The clipboard poll: a new single address goes into the text box.
    void Timer1_Timer();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // A URL-list row for address with the current options.
    QStringList UrlRow(const QString &address) const;

    frmRaiseIE &m_bar;
    frmWebbrowser *m_browser;
    UrlBarState &m_state;
    UrlListModel &m_urls;
    DownloadState &m_downloads;
    Questions &m_questions;
    LanguageTexts &m_texts;
};
