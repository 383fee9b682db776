// Link extraction over arbitrary page text: never crashes, every link it
// returns is a piece of the page, and the work stays linear (libFuzzer's
// -timeout catches a quadratic scan on its larger inputs), with and without
// the modern-pictures pass.
#include "fuzzcheck.h"
#include "htmllinks.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString page = QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));
    int yields = 0;
    const PageLinks links = HTML_GetAllURLs(page, [&] { ++yields; });
    for (const QString &link : links.Links)
        FUZZ_CHECK(link.size() <= page.size());
    FUZZ_CHECK(links.BaseAddress.size() <= page.size());
    // The modern-pictures pass only appends to the classic entries.
    const PageLinks modern = HTML_GetAllURLs(page, {}, true);
    FUZZ_CHECK(modern.Links.size() >= links.Links.size());
    FUZZ_CHECK(modern.Links.mid(0, links.Links.size()) == links.Links);
    for (const QString &link : modern.Links)
        FUZZ_CHECK(link.size() <= page.size());
    QString stripped = page;
    StripControlChars(stripped);
    for (QChar c : stripped)
        FUZZ_CHECK(c.unicode() >= 32);
    const QString head = TakeUntil(page, QLatin1Char('"'));
    FUZZ_CHECK(page.startsWith(head));
    return 0;
}
