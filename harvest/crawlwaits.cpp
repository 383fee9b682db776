// The crawl's page fetches and servers that ask to wait: no page request
// goes to a server while it waits, and a page it refuses with 429 or 503 is
// asked for again after the wait, as download rows are.
#include "crawler.h"

#include "serverwaits.h"

Crawler::Page Crawler::FetchWaitingForServer(const QString &address)
{
    if (!Waits || Options.ViewBrowser) return FetchPage(address);
    for (int refusals = 0;;) {
        WaitFor([&] { return Waits->MsLeft(address) == 0 || StopPage || StopHarvest; });
        if (Waits->MsLeft(address) > 0) {
            Page stopped;
            stopped.Failure = QStringLiteral("stopped");
            return stopped;
        }
        Page page = FetchPage(address);
        if (!ServerWaits::AsksToWait(page.Status) ||
            !page.Failure.startsWith(QLatin1String("HTTP")))
            return page;
        Waits->Refused(address, page.Status, page.RetryAfter);
        if (++refusals >= ServerWaits::MaxRefusals) {
            page.Failure = Waits->RefusedReason(refusals, page.Status);
            return page;
        }
    }
}
