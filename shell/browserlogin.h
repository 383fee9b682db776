#pragma once

class CookieJar;
class QWebEngineView;

// The browser's login for harvests: once the embedded browser loads its first
// page, every cookie its store adds or drops (and the cookies it holds
// already) goes into the logic side's jar, with the browser's user agent.
// The jar must outlive the view.
void FeedCookieJar(QWebEngineView &view, CookieJar &jar);
