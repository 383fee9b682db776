// Behaviour of the harvester's logic: link extraction with all its quirks,
// link resolution, and the file-type and name filters.
#include "filefilters.h"
#include "htmllinks.h"
#include "linkresolver.h"
#include "pagetext.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <ostream>
#include <random>

// Readable failure messages for texts and lists of texts.
void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace
{

QStringList Links(const QString &page)
{
    return HTML_GetAllURLs(page).Links;
}

// ---- Extraction ----

TEST(HtmlLinks, QuotesApostrophesAndSpacesDecideWhereAValueEnds)
{
    const QStringList cases[][2] = {
        {{"<a href=\"x.jpg\" target=\"_blank\">"}, {"x.jpg"}},
        {{"<a href=x.jpg target=_blank>"}, {"x.jpg"}},
        {{"<a href='x.jpg'>"}, {"x.jpg"}},
        {{"<a href='a b.jpg'>"}, {"a"}},
        // No closing quote: the rest of the tag text.
        {{"<a href=\"x y.jpg target=a>"}, {"x y.jpg target=a"}},
        // A trailing quote on an unquoted value goes; apostrophes go anywhere.
        {{"<a href=x.jpg\">"}, {"x.jpg"}},
        {{"<a href=\"it's.jpg\">"}, {"its.jpg"}},
        // Empty values are entries; an anchor without href is none.
        {{"<a href=\"\"><a href=''><a name=\"top\">"}, {"", ""}},
        // Spaces around "=" hide the attribute.
        {{"<a href = \"x.jpg\">"}, {}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Links(c[0].first()), c[1]) << c[0].first().toStdString();
}

TEST(HtmlLinks, OpenersNeedTheirSpaceAndIgnoreLetterCase)
{
    EXPECT_EQ(Links("<A HREF=\"Up.JPG\"><IMG SRC=\"B.Gif\">"), QStringList({"Up.JPG", "B.Gif"}));
    EXPECT_EQ(Links("<a\thref=\"t\"><a\r\nhref=\"n\"><area href=\"r\"><abbr href=\"b\">"
                    "<imgx src=\"i\"><image src=\"j\">"),
              QStringList());
}

TEST(HtmlLinks, TagEndsAtTheFirstGreaterThanUnlessALaterTagStartsFirst)
{
    // The first opener's text reaches into the second tag: only the second counts.
    EXPECT_EQ(Links("<a title=x <a href=\"y.jpg\">"), QStringList({"y.jpg"}));
    EXPECT_EQ(Links("<a href=\"x.jpg\" <b>"), QStringList());
    // A ">" inside a quoted value ends the tag there.
    EXPECT_EQ(Links("<a href=\"a>b.jpg\">"), QStringList({"a"}));
    // No ">" anywhere after the opener.
    EXPECT_EQ(Links("<img src=\"x.jpg\""), QStringList());
    // The search goes on after the ">" of a taken tag, and after a rejected opener.
    EXPECT_EQ(Links("<a <a href=1><a href=2>"), QStringList({"1", "2"}));
}

TEST(HtmlLinks, AttributeMatchesAnywhereAndTheFirstOccurrenceWins)
{
    EXPECT_EQ(Links("<img datasrc=\"a.jpg\" src=\"b.jpg\">"), QStringList({"a.jpg"}));
    EXPECT_EQ(Links("<img lowsrc=a.jpg src=b.jpg>"), QStringList({"a.jpg"}));
    EXPECT_EQ(Links("<img src=\"b.jpg\" lowsrc=\"a.jpg\">"), QStringList({"b.jpg"}));
    EXPECT_EQ(Links("<img srcset=\"s.jpg 2x\" src=\"b.jpg\">"), QStringList({"b.jpg"}));
    // Inside another attribute's quoted value; the quote that follows goes.
    EXPECT_EQ(Links("<a title=\"href=t.jpg\" href=\"u.jpg\">"), QStringList({"t.jpg"}));
}

TEST(HtmlLinks, AnchorsComeBeforeImagesAndTheLastBaseWins)
{
    const PageLinks page = HTML_GetAllURLs(
        "<base href=\"http://one/\"><a href=A1><img src=I1><base target=_top>"
        "<a href=A2><IMG src=I2><a href=A1><base href=\"http://two/\"><base target=x>");
    EXPECT_EQ(page.Links, QStringList({"A1", "A2", "A1", "I1", "I2"}));
    EXPECT_EQ(page.Count(), 5);
    EXPECT_EQ(page.BaseAddress, "http://two/");
    // A base tag with an empty href empties the base address.
    EXPECT_EQ(HTML_GetAllURLs("<base href=\"x/\"><base href=\"\">").BaseAddress, "");
}

TEST(HtmlLinks, LineBreakWithFfbGoesAsAWholeAndControlCharactersGo)
{
    EXPECT_EQ(Links("<a href=\"a\r\nffbb.jpg\">"), QStringList({"ab.jpg"}));
    EXPECT_EQ(Links("<a href=\"a\tb.jpg\">"), QStringList({"ab.jpg"}));
    // Case matters for "ffb"; the apostrophe goes first; no second round.
    EXPECT_EQ(Links("<a href=\"a\r\nFFB.jpg\">"), QStringList({"aFFB.jpg"}));
    EXPECT_EQ(Links("<a href=\"a\r\n'ffb.jpg\">"), QStringList({"a.jpg"}));
    EXPECT_EQ(Links("<a href=\"\r\n\r\nffbffb\">"), QStringList({"ffb"}));
    // An unquoted value stops at a space only: a tab joins the next attribute.
    EXPECT_EQ(Links("<a href=x.jpg\ttarget=y>"), QStringList({"x.jpgtarget=y"}));

    QString text = QStringLiteral("a\x01\tb c\x1f\x7f");
    StripControlChars(text);
    EXPECT_EQ(text, QStringLiteral("ab c\x7f"));
    EXPECT_EQ(TakeUntil(u"abc def", u' '), "abc");
    EXPECT_EQ(TakeUntil(u"abc", u'"'), "abc");
}

TEST(HtmlLinks, PagesWithoutOpenersGiveNothing)
{
    for (const QString &page : {QString(), QStringLiteral("<html><body>no links</body></html>"),
                                QStringLiteral("<a"), QStringLiteral("<img ")}) {
        const PageLinks links = HTML_GetAllURLs(page);
        EXPECT_EQ(links.Count(), 0);
        EXPECT_TRUE(links.Links.isEmpty());
        EXPECT_TRUE(links.BaseAddress.isEmpty());
    }
}

TEST(HtmlLinks, AttributeFarIntoALongTagIsFound)
{
    const QString filler = QStringLiteral("x=1 ").repeated(10000); // 40,000 characters
    EXPECT_EQ(Links("<a " + filler + "href=\"far.jpg\"><img " + filler + "src=far.gif>"),
              QStringList({"far.jpg", "far.gif"}));
    EXPECT_EQ(HTML_GetAllURLs("<base " + filler + "href=http://b/>").BaseAddress, "http://b/");
}

TEST(HtmlLinks, ScanYieldsNowAndThenAndStaysLinearOnHostilePages)
{
    int yields = 0;
    const QString anchors = QStringLiteral("<a href=x>").repeated(20000);
    EXPECT_EQ(HTML_GetAllURLs(anchors, [&] { ++yields; }).Count(), 20000);
    EXPECT_GE(yields, 1);
    EXPECT_LT(yields, 100);

    // Openers without any ">" after them, and openers whose ">" lies behind
    // many later "<": each costs the whole rest of the page when searched
    // naively.
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(HTML_GetAllURLs(QStringLiteral("<a <img <base ").repeated(100000)).Count(), 0);
    EXPECT_EQ(HTML_GetAllURLs(QStringLiteral("<a <img ").repeated(100000) + ">").Count(), 0);
    EXPECT_EQ(HTML_GetAllURLs(QStringLiteral("<a x").repeated(100000) + "<a href=y>").Count(), 1);
    // Tags of the modern pass that never end, or end only in a late quote.
    EXPECT_GT(
        HTML_GetAllURLs(QStringLiteral("<p data-src=\"a ").repeated(100000), {}, true).Count(), 0);
    EXPECT_GT(
        HTML_GetAllURLs(QStringLiteral("<img srcset=a data-x ").repeated(100000), {}, true).Count(),
        0);
    EXPECT_LT(timer.elapsed(), 3000);
}

// The extraction written out literally: three passes, each searching the
// lower-cased page again from where the last tag left off.
PageLinks ThreePasses(const QString &html)
{
    PageLinks result;
    const QString lower = html.toLower();
    const struct {
        QString opener;
        int cut;
        QString attribute;
    } passes[] = {{"<base ", 5, "href="}, {"<a ", 3, "href="}, {"<img ", 3, "src="}};
    for (const auto &pass : passes) {
        for (qsizetype from = 0;;) {
            const qsizetype open = lower.indexOf(pass.opener, from);
            const qsizetype close = html.indexOf('>', open < 0 ? html.size() : open);
            if (open < 0) break;
            from = open + 1;
            const QString tag = html.mid(open, close < 0 ? 0 : close - open);
            const QString rest = tag.mid(pass.cut);
            const qsizetype at = rest.toLower().indexOf(pass.attribute);
            if (close < 0 || tag.indexOf('<', 1) >= 0 || at < 0) continue;
            const QString after = rest.mid(at + pass.attribute.size());
            QString value =
                after.startsWith('"') ? TakeUntil(after.mid(1), '"') : TakeUntil(after, ' ');
            if (value.endsWith('"')) value.chop(1);
            value.remove('\'').remove("\r\nffb");
            StripControlChars(value);
            if (pass.opener == "<base ")
                result.BaseAddress = value;
            else
                result.Links.append(value);
            from = close;
        }
    }
    return result;
}

TEST(HtmlLinks, AgreesWithTheLiteralThreePassesOnRandomPages)
{
    const char *pieces[] = {"<a ",    "<A ",   "<img ", "<IMG ",     "<base ",  "<b",
                            "<area ", "href=", "HREF=", "src=",      "lowsrc=", "\"",
                            "'",      " ",     ">",     "<",         "x.jpg",   "\r\nffb",
                            "\t",     "=",     "p",     "data-src=", "srcset="};
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        QString page;
        for (int n = int(random() % 40); n > 0; --n)
            page += pieces[random() % std::size(pieces)];
        const PageLinks fast = HTML_GetAllURLs(page);
        const PageLinks literal = ThreePasses(page);
        ASSERT_EQ(fast.Links, literal.Links) << page.toStdString();
        ASSERT_EQ(fast.BaseAddress, literal.BaseAddress) << page.toStdString();
        // The modern pass only ever appends.
        ASSERT_EQ(HTML_GetAllURLs(page, {}, true).Links.first(literal.Links.size()), literal.Links);
    }
}

TEST(HtmlLinks, ModernPassAppendsLargestCandidatesAndLazyValuesButNoPlaceholders)
{
    const QString page = QStringLiteral(
        "<a href=\"set.html\">"
        "<picture><source srcset=\"s/a,1.webp 480w, s/a,2.webp 1200w,s/a,3.webp 800w\">"
        "<img src=\"data:image/gif;base64,R0lG\" data-srcset=\"d/1x.jpg, d/2x.jpg 2x\" "
        "alt=\"a > b\"></picture>"
        "<IMG SRC=\"/img/blank.gif\" DATA-SRC=\"/img/blank.gif\" data-original='o.jpg?a=1&amp;b=2'>"
        "<img src=\"t/thumb.jpg\" data-lazy-src=\"t/big.jpg\" srcset=\"data:x 1x\">"
        "<div data-orig-file=\"f.jpg\" data-full=\"&#x66;ull.jpg\" data-large-file=l.jpg>"
        "<a href=\"#\" data-pswp-src=\"p.jpg\" data-zoom-image=\"z.jpg\">"
        "<span data-src=\"x.jpg\" srcset=\"not-an-img.jpg\">");
    const QStringList old = {"set.html", "#", "data:image/gif;base64,R0lG", "/img/blank.gif",
                             "t/thumb.jpg"};
    EXPECT_EQ(Links(page), old);
    EXPECT_EQ(HTML_GetAllURLs(page, {}, true).Links,
              old + QStringList({"s/a,2.webp", "d/2x.jpg", "o.jpg?a=1&b=2", "t/big.jpg", "f.jpg",
                                 "full.jpg", "l.jpg", "p.jpg", "z.jpg", "x.jpg"}));
}

// ---- Resolution ----

TEST(LinkResolver, ResolvesAgainstThePageAndRefusesWhatIsNotHttp)
{
    const LinkResolver resolver;
    const QString page = QStringLiteral("http://h.test/dir/page.html?p=1");
    const QString cases[][2] = {
        {"b.jpg", "http://h.test/dir/b.jpg"},
        {"sub/", "http://h.test/dir/sub/"},
        {"../up.jpg", "http://h.test/up.jpg"},
        {"../../../top.jpg", "http://h.test/top.jpg"},
        {"/root.jpg", "http://h.test/root.jpg"},
        {"//cdn.test/c.jpg", "http://cdn.test/c.jpg"},
        {"http://o.test/x.jpg", "http://o.test/x.jpg"},
        {"HTTPS://S.test/x.jpg", "https://s.test/x.jpg"},
        {"show.php?id=3#top", "http://h.test/dir/show.php?id=3"},
        {"?p=2", "http://h.test/dir/page.html?p=2"},
        {" my pic.jpg ", "http://h.test/dir/my%20pic.jpg"},
        {"#frag", ""},
        {"", ""},
        {"mailto:me@h.test", ""},
        {"javascript:void(0)", ""},
        {"JavaScript:go()", ""},
        {"data:image/png;base64,AAAA", ""},
        {"ftp://f.test/x.jpg", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(resolver.ResolveLink(page, c[0]), c[1]) << c[0].toStdString();
    // A page address typed without its scheme, also with a port.
    EXPECT_EQ(resolver.ResolveLink("h.test/dir/", "a.jpg"), "http://h.test/dir/a.jpg");
    EXPECT_EQ(resolver.ResolveLink("127.0.0.1:8080/d/", "a.jpg"), "http://127.0.0.1:8080/d/a.jpg");
    // Typed addresses in the form resolved links come in.
    EXPECT_EQ(LinkResolver::NormalAddress("HTTP://LocalHost:80/a/./x/../b%7E#f"),
              "http://localhost/a/b~");
    EXPECT_EQ(LinkResolver::NormalAddress("h.test:8080"), "http://h.test:8080/");
    EXPECT_EQ(resolver.ResolveLink("http://h.test:80/", "a.jpg"), "http://h.test/a.jpg");
}

// ---- Page text ----

TEST(PageText, TheNamedCharsetWinsThenUtf8ThenLatin1)
{
    const QByteArray koi8 =
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=koi8-r\">"
        "<img src=\"\xC1.jpg\">";
    EXPECT_TRUE(PageText(koi8, "").contains(QString::fromUtf8("\xD0\xB0.jpg"))); // Cyrillic a
    // The response header names the set before the page does.
    EXPECT_TRUE(PageText(koi8, "text/html; charset=ISO-8859-1")
                    .contains(QString::fromUtf8("\xC3\x81.jpg")));
    EXPECT_EQ(PageText("caf\xC3\xA9", ""), QString::fromUtf8("caf\xC3\xA9"));
    EXPECT_EQ(PageText("caf\xE9", "text/html; charset=unknown-set"),
              QString::fromUtf8("caf\xC3\xA9"));
    EXPECT_TRUE(IsPageType("") && IsPageType("Text/HTML") && IsPageType("application/xhtml+xml"));
    EXPECT_FALSE(IsPageType("image/jpeg"));
}

// ---- Filters ----

TEST(FileFilters, TypeSlotsFollowTheBoxesAndTestSubstringsInAnyCase)
{
    FileFilters filters; // as the options window starts: only JPEG
    for (const char *name : {"a.JPG", "b.jpeg", "c.Jpe", "d.jpg.txt", "e.jpg?x=1"})
        EXPECT_TRUE(IsFileType(name, filters)) << name;
    for (const char *name : {"a.gif", "jpg", "ajpg", "a.mpg"})
        EXPECT_FALSE(IsFileType(name, filters)) << name;

    filters.SetBox(1, true);
    EXPECT_TRUE(IsFileType("a.gif", filters));
    filters.SetBox(1, false);
    EXPECT_FALSE(IsFileType("a.gif", filters));
    filters.SetBox(3, true);
    EXPECT_TRUE(IsFileType("clip.WMV", filters));

    // No slot filled: nothing passes, however the name looks.
    filters = FileFilters::FromCheckBoxes({false, false, false, false, false}, "", "*");
    EXPECT_FALSE(IsFileType("a.jpg", filters));
}

TEST(FileFilters, ManualTypesCountOnlyWhileSwitchedOnAndAreTrimmedWhenTested)
{
    FileFilters filters =
        FileFilters::FromCheckBoxes({true, false, false, false, true}, " png, bmp,,", "*");
    EXPECT_EQ(filters.ManualTypes, QStringList({" png", " bmp", "", ""}));
    EXPECT_TRUE(IsFileType("a.PNG", filters));
    EXPECT_TRUE(IsFileType("a.bmp", filters));
    // Empty entries are skipped, not read as "any extension".
    EXPECT_FALSE(IsFileType("a.txt", filters));
    filters.SetBox(FileFilters::ManualTypeBox, false);
    EXPECT_FALSE(IsFileType("a.png", filters));
    EXPECT_TRUE(IsFileType("a.jpg", filters));

    for (QChar key : QStringLiteral("Za,\b"))
        EXPECT_TRUE(FileFilters::AcceptsManualTypeKey(key));
    for (QChar key : QStringLiteral("1. \u00e4"))
        EXPECT_FALSE(FileFilters::AcceptsManualTypeKey(key));
}

TEST(FileFilters, EachPatternForm)
{
    struct Case {
        const char *pattern;
        const char *name;
        bool fits;
    };
    const Case cases[] = {
        {"*", "a.jpg", true},
        {"*", ".jpg", false},
        {"*", "nodot", false},
        {"img*", "IMG_0001.jpg", true},
        {"img*", "pic.jpg", false},
        {"*001", "img001.jpg", true},
        {"*001", "img001b.jpg", false},
        {"*Cat", "mycat.gif", false},
        {"*Cat*", "mycat.gif", true},
        {"**", "x.gif", true},
        {"*toolongforit", "a.gif", false},
        {"img%%%", "img123.jpg", true},
        {"img%%%", "img12a.jpg", false},
        {"$$$", "abc.gif", true},
        {"$$$", "a1c.gif", false},
        {"a&c", "abc.gif", true},
        {"a&c", "a-c.gif", true},
        {"abc", "ABC.gif", false},
        {"abc", "abcd.gif", false},
        {"a*c", "abc.gif", false},
        // A mask fits only a stem of its own length, whatever its wildcards.
        {"img%%", "img123.jpg", false},
        {"img%%%%", "img123.jpg", false},
        {"$$", "abc.gif", false},
        {"$$$$", "abc.gif", false},
        {"a&", "abc.gif", false},
        {"a&&&", "abc.gif", false},
        // "$" is any non-digit, punctuation included.
        {"a$c", "a_c.gif", true},
        {"a$c", "a-c.gif", true},
        // The stem ends at the first dot.
        {"a", "a.b.jpg", true},
        {"a.b", "a.b.jpg", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(MatchesPattern(c.name, {c.pattern}), c.fits) << c.pattern << " " << c.name;
    EXPECT_FALSE(MatchesPattern("a.jpg", {}));
    EXPECT_TRUE(MatchesPattern("x9.jpg", {"abc", "x%"}));
}

TEST(FileFilters, SpaceAfterCommaStartsTheNextPattern)
{
    const QStringList patterns = FileFilters::SplitSearchPatterns("  img*, *001 ");
    EXPECT_EQ(patterns, QStringList({"img*", " *001"}));
    EXPECT_FALSE(MatchesPattern("cat001.jpg", patterns));
    EXPECT_TRUE(MatchesPattern("img5.jpg", patterns));
    // A lone star is recognised trimmed, so a spaced one still matches.
    EXPECT_TRUE(MatchesPattern("cat.jpg", FileFilters::SplitSearchPatterns("img*, *")));
    EXPECT_TRUE(FileFilters::SplitSearchPatterns("   ").isEmpty());

    // The pattern is never changed by a test: many names in a row give the
    // answers each gives alone.
    const QStringList star = {"*01"};
    for (int round = 0; round < 3; ++round) {
        EXPECT_TRUE(MatchesPattern("a01.jpg", star));
        EXPECT_FALSE(MatchesPattern("a02.jpg", star));
        EXPECT_TRUE(MatchesPattern("b01.gif", star));
    }
    EXPECT_EQ(star, QStringList({"*01"}));
}

TEST(FileFilters, UrlListRowsRewriteTheGroupsTheyName)
{
    FileFilters filters =
        FileFilters::FromCheckBoxes({false, true, false, false, true}, "tif", "*");
    filters.ApplyUrlListRow("1;0;1;1;0;", "img*,*001");
    EXPECT_EQ(filters.TypeSlots,
              (std::array<QString, 8>{"JPEG", "JPG", "JPE", "", "MPEG", "MPG", "AVI", "WMV"}));
    EXPECT_EQ(filters.ManualTypes, QStringList({"tif"}));
    EXPECT_TRUE(filters.ManualTypesOn); // the switch stays as the options window set it
    EXPECT_EQ(filters.SearchPatterns, QStringList({"img*", "*001"}));

    filters.ApplyUrlListRow("0;0;0;0;1;png,bmp", "");
    EXPECT_EQ(filters.ManualTypes, QStringList({"png", "bmp"}));
    EXPECT_TRUE(IsFileType("a.bmp", filters));
    EXPECT_FALSE(IsFileType("a.jpg", filters));
    EXPECT_TRUE(filters.SearchPatterns.isEmpty());

    // A short text sets only the flags it has; the last piece is no flag.
    filters.ApplyUrlListRow("1;1", "*");
    EXPECT_EQ(filters.TypeSlots[0], "JPEG");
    EXPECT_EQ(filters.TypeSlots[3], "");

    // What the options window writes, the runner reads back.
    const FileFilters::Boxes boxes{true, false, true, false, false};
    EXPECT_EQ(FileFilters::FileTypesColumn(boxes, "png"), "1;0;1;0;0;");
    const QString column =
        FileFilters::FileTypesColumn({true, false, false, false, true}, "png,bmp");
    EXPECT_EQ(column, "1;0;0;0;1;png,bmp");
    FileFilters roundTrip;
    roundTrip.ApplyUrlListRow(column, "*");
    EXPECT_EQ(roundTrip.TypeSlots,
              FileFilters::FromCheckBoxes({true, false, false, false, true}, "", "*").TypeSlots);
    EXPECT_EQ(roundTrip.ManualTypes, QStringList({"png", "bmp"}));
}

} // namespace
