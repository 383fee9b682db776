#include "browserlogin.h"

#include "cookiejar.h"

#include <QWebEngineCookieStore>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

void FeedCookieJar(QWebEngineView &view, CookieJar &jar)
{
    // Not before the first load: asking for the page earlier would start the
    // browser engine at program start.
    QObject::connect(
        &view, &QWebEngineView::loadStarted, &view,
        [&view, &jar] {
            QWebEngineProfile *profile = view.page()->profile();
            jar.UserAgent = profile->httpUserAgent();
            QWebEngineCookieStore *store = profile->cookieStore();
            QObject::connect(store, &QWebEngineCookieStore::cookieAdded, &view,
                             [&jar](const QNetworkCookie &cookie) { jar.Insert(cookie); });
            QObject::connect(store, &QWebEngineCookieStore::cookieRemoved, &view,
                             [&jar](const QNetworkCookie &cookie) { jar.Remove(cookie); });
            store->loadAllCookies();
        },
        Qt::SingleShotConnection);
}
