// extract_bench: throughput of the link extraction (HTML_GetAllURLs) over
// generated gallery pages of 10 MB with 100,000 tags and of 20 MB with
// 200,000 tags. Bytes processed are page characters (one byte each in the
// single-byte page files the crawl reads). The extraction should run at
// 100 MB/s or more and the doubled page take at most 2.2 times as long. The
// second argument is the modern-pictures pass (1, as the crawl runs by
// default) or the three classic passes alone (0).
//
//   extract_bench [--benchmark_filter=...] [--benchmark_repetitions=N]

#include "htmllinks.h"

#include <benchmark/benchmark.h>

#include <map>
#include <random>

namespace
{

// A page as gallery sites write them: anchors (closed, some in capitals,
// some unquoted or in apostrophes), images with several attributes, and the
// usual layout tags, with text between them so that the page reaches
// megabytes characters for every 10,000 tags.
QString GalleryPage(int megabytes)
{
    const qsizetype tags = qsizetype(megabytes) * 10000;
    const qsizetype size = qsizetype(megabytes) * 1000 * 1000;
    std::mt19937 random(20240601u + unsigned(megabytes));
    const auto pick = [&random](int n) { return int(random() % unsigned(n)); };

    QStringList pieces;
    pieces.reserve(tags);
    qsizetype tagCharacters = 0;
    for (qsizetype i = 0; i < tags; ++i) {
        const int n = pick(100000);
        QString tag;
        switch (pick(20)) {
        case 0:
        case 1:
        case 2:
        case 3:
            tag = QStringLiteral("<a href=\"/gallery/set%1/page%2.html\" class=\"thumb\">")
                      .arg(n % 300)
                      .arg(n);
            break;
        case 4:
            tag = QStringLiteral("<A HREF=pictures/IMG_%1.JPG TARGET=_blank>").arg(n);
            break;
        case 5:
            tag = QStringLiteral("<a href='http://cdn%1.example.test/full/%2.jpg' title=\"full "
                                 "size\">")
                      .arg(n % 4)
                      .arg(n);
            break;
        case 6:
        case 7:
        case 8:
            tag = QStringLiteral("</a>");
            break;
        case 9:
        case 10:
        case 11:
            tag = QStringLiteral("<img src=\"thumbs/t%1.jpg\" width=\"120\" height=\"90\" "
                                 "border=\"0\" alt=\"Picture %1\">")
                      .arg(n);
            break;
        case 12:
            tag = QStringLiteral("<IMG lowsrc=\"low/%1.gif\" SRC=\"pics/%1.jpg\">").arg(n);
            break;
        case 13:
        case 14:
            tag = QStringLiteral("<div class=\"row r%1\">").arg(n % 7);
            break;
        case 15:
            tag = QStringLiteral("</div>");
            break;
        case 16:
            tag = QStringLiteral("<td align=\"center\" valign=\"top\">");
            break;
        case 17:
            tag = QStringLiteral("<br>");
            break;
        case 18:
            tag = QStringLiteral("<span style=\"font-size:small\">");
            break;
        default:
            tag = QStringLiteral("<p>");
            break;
        }
        tagCharacters += tag.size();
        pieces.append(tag);
    }

    static const QString words = QStringLiteral(
        "Holiday pictures from the lake, taken in the evening light with a long lens. "
        "Click a thumbnail to see the picture in full size; more sets follow below. ");
    const qsizetype textPerTag = qMax<qsizetype>(0, (size - tagCharacters) / tags);
    QString page;
    page.reserve(size + words.size());
    for (const QString &tag : pieces) {
        page += tag;
        const qsizetype start = pick(int(words.size() / 2));
        for (qsizetype left = textPerTag; left > 0;) {
            const qsizetype take = qMin(left, words.size() - start);
            page += QStringView(words).sliced(start, take);
            left -= take;
        }
    }
    return page;
}

const QString &Page(int megabytes)
{
    static std::map<int, QString> pages;
    auto it = pages.find(megabytes);
    if (it == pages.end()) it = pages.emplace(megabytes, GalleryPage(megabytes)).first;
    return it->second;
}

void BM_ExtractLinks(benchmark::State &state)
{
    const QString &page = Page(int(state.range(0)));
    int yields = 0;
    const std::function<void()> yield = [&yields] { ++yields; };
    int links = 0;
    for (auto _ : state) {
        const PageLinks result = HTML_GetAllURLs(page, yield, state.range(1) != 0);
        links = result.Count();
        benchmark::DoNotOptimize(links);
    }
    state.SetBytesProcessed(state.iterations() * page.size());
    state.counters["links"] = links;
    state.counters["yields_per_run"] = double(yields) / double(state.iterations());
}

} // namespace

BENCHMARK(BM_ExtractLinks)
    ->ArgsProduct({{10, 20}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

BENCHMARK_MAIN();
