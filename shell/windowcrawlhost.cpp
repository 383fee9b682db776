#include "windowcrawlhost.h"

#include "frmdownloaddata.h"
#include "frmrlie.h"
#include "frmwebbrowser.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

WindowCrawlHost::WindowCrawlHost(frmDownloadData &downloads, frmRLIE &options,
                                 frmWebbrowser &browser)
    : m_downloads(downloads), m_options(options), m_browser(browser)
{
}

bool WindowCrawlHost::BrowserFetch(const QString &address, const std::function<bool()> &stopPage,
                                   QString &documentAddress, QString &html)
{
    QWebEngineView *view = m_browser.WebBrowser1;
    bool finished = false;
    bool ok = false;
    QEventLoop loop;
    const auto connection = QObject::connect(view, &QWebEngineView::loadFinished, &loop,
                                             [&](bool success) {
                                                 finished = true;
                                                 ok = success;
                                                 loop.quit();
                                             });
    view->load(QUrl::fromUserInput(address));
    // Wait for the load to finish, bounded; the stop button ends it early.
    const QDeadlineTimer deadline(BrowserTimeoutMs);
    while (!finished && !deadline.hasExpired() && !QCoreApplication::closingDown()) {
        if (stopPage()) {
            view->stop();
            break;
        }
        QTimer::singleShot(50, &loop, &QEventLoop::quit);
        loop.exec();
    }
    QObject::disconnect(connection);
    if (!finished) {
        view->stop();
        return false;
    }
    documentAddress = view->url().toString();
    if (!ok)
        return false;
    // The document's HTML arrives through a callback.
    bool got = false;
    view->page()->toHtml([&](const QString &text) {
        html = text;
        got = true;
    });
    const QDeadlineTimer htmlDeadline(10000);
    while (!got && !htmlDeadline.hasExpired() && !QCoreApplication::closingDown()) {
        QEventLoop wait;
        QTimer::singleShot(20, &wait, &QEventLoop::quit);
        wait.exec();
    }
    return got;
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
