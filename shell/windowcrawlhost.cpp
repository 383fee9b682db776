#include "windowcrawlhost.h"

#include "frmdownloaddata.h"
#include "frmrlie.h"
#include "frmwebbrowser.h"
#include "wait.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNavigationRequest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <memory>

WindowCrawlHost::WindowCrawlHost(frmDownloadData &downloads, frmRLIE &options,
                                 frmWebbrowser &browser)
    : m_downloads(downloads), m_options(options), m_browser(browser)
{
}

namespace
{

// Whether the browser's address for a load is the address the crawl asked
// for (the browser writes it in its own normal form).
bool SameAddress(const QUrl &loaded, const QUrl &wanted)
{
    const auto form = QUrl::StripTrailingSlash | QUrl::RemoveFragment;
    return loaded.adjusted(form) == wanted.adjusted(form);
}

} // namespace

bool WindowCrawlHost::BrowserFetch(const QString &address, const std::function<bool()> &stopPage,
                                   QString &documentAddress, QString &html)
{
    QWebEngineView *view = m_browser.WebBrowser1;
    QWebEnginePage *page = view->page();
    const QUrl wanted = QUrl::fromUserInput(address);
    // The wait ends with the end of the load of the requested address: the
    // end of an earlier load is not this page, and a navigation other than a
    // server's redirect after it (the user navigating) means this page was
    // not loaded.
    bool ours = false;
    bool superseded = false;
    bool finished = false;
    bool ok = false;
    // The connections below end with this object at the end of this call.
    QObject listening;
    QObject::connect(page, &QWebEnginePage::navigationRequested, &listening,
                     [&](QWebEngineNavigationRequest &request) {
                         if (!request.isMainFrame()) return;
                         if (!ours)
                             ours = SameAddress(request.url(), wanted);
                         else if (request.navigationType() !=
                                  QWebEngineNavigationRequest::RedirectNavigation)
                             superseded = true;
                     });
    QObject::connect(
        page, &QWebEnginePage::loadingChanged, &listening, [&](const QWebEngineLoadingInfo &info) {
            if (!ours || finished || info.status() == QWebEngineLoadingInfo::LoadStartedStatus)
                return;
            finished = true;
            ok = !superseded && info.status() == QWebEngineLoadingInfo::LoadSucceededStatus;
        });
    view->load(wanted);
    // Wait for the load to finish, bounded; the stop button ends it early,
    // and so does the program's end.
    const QDeadlineTimer deadline(BrowserTimeoutMs);
    WaitOptions loadWait;
    loadWait.PollMs = 50;
    loadWait.Wake = [page](QEventLoop &loop) {
        QObject::connect(page, &QWebEnginePage::loadingChanged, &loop, &QEventLoop::quit);
    };
    WaitUntil([&] { return finished || deadline.hasExpired() || stopPage(); }, loadWait);
    if (!finished) {
        view->stop();
        return false;
    }
    if (!ok) return false;
    documentAddress = view->url().toString();
    // The document's HTML arrives through a callback, which may come after
    // this call gave up waiting: it writes only into state it shares.
    struct HtmlWait {
        QString text;
        bool got = false;
        QPointer<QEventLoop> waiting;
    };
    const auto wait = std::make_shared<HtmlWait>();
    page->toHtml([wait](const QString &text) {
        wait->text = text;
        wait->got = true;
        if (wait->waiting) wait->waiting->quit();
    });
    const QDeadlineTimer htmlDeadline(10000);
    WaitOptions htmlWait;
    htmlWait.PollMs = 100;
    htmlWait.Wake = [&wait](QEventLoop &loop) { wait->waiting = &loop; };
    WaitUntil([&] { return wait->got || htmlDeadline.hasExpired(); }, htmlWait);
    wait->waiting = nullptr;
    if (!wait->got) return false;
    html = wait->text;
    return true;
}

void WindowCrawlHost::SetDownloadCaption(const QString &caption)
{
    m_downloads.setWindowTitle(caption);
}

void WindowCrawlHost::SetBrowserCaption(const QString &caption)
{
    m_browser.setWindowTitle(caption);
}

void WindowCrawlHost::SetDepth(int depth)
{
    m_downloads.label1->setText(QString::number(depth));
}

void WindowCrawlHost::RowAdded()
{
    if (!m_downloads.Command1->isEnabled()) {
        m_downloads.Command1->setEnabled(true);
        m_downloads.cmdDeleteFromList->setEnabled(true);
    }
    m_downloads.Command2->setEnabled(true);
}

void WindowCrawlHost::HarvestEnded()
{
    m_options.Command2->setEnabled(true);
    m_browser.cmdDownload->setEnabled(true);
    m_options.cmdStopDnl->hide();
}
