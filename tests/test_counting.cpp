// Address counting on a text and its marks, the mark clicks, and the URL
// bar's and browser's small decisions (series answer, view start, clipboard
// text, screen edge).
#include "raiselower.h"
#include "urlbarlogic.h"

#include <QProcess>
#include <gtest/gtest.h>

namespace
{

struct Step {
    const char *text, *marks, *nextText, *nextMarks;
};

TEST(RaiseLower, EveryExampleStepGivesItsResult)
{
    const Step steps[] = {
        {"9", "R", "10", "cR"},           {"19", "cR", "20", "cR"},     {"99", "cR", "100", "cCR"},
        {"10", "cL", "9", "L"},           {"00", "CL", "99", "CL"},     {"zz", "cR", "1aa", "cCR"},
        {"a9", "CR", "b0", "CR"},         {"0", "L", "0", "L"},         {"Z9", "CR", "A0", "CR"},
        {"aZ39", "CCCR", "aZ40", "CCCR"}, {"pic", "   ", "pic", "   "}, {"AZ", "cR", "BA", "cR"},
        {"Aa", "CL", "Zz", "CL"},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(s.text);
        QString text = QString::fromLatin1(s.text);
        QString marks = QString::fromLatin1(s.marks);
        RaiseLower(text, marks);
        EXPECT_EQ(text, QString::fromLatin1(s.nextText));
        EXPECT_EQ(marks, QString::fromLatin1(s.nextMarks));
    }
}

TEST(RaiseLower, CountsTwoCountersInOneStepAndIgnoresMarksOnOtherCharacters)
{
    // Right counter first: its growth must not disturb the left one, and the
    // marks on "/" and "." are ignored.
    QString text = QStringLiteral("a/19/99.jpg");
    QString marks = QStringLiteral(" RcR cRR   ");
    RaiseLower(text, marks);
    EXPECT_EQ(text, QStringLiteral("a/20/100.jpg"));
    EXPECT_EQ(marks, QStringLiteral(" RcR cCRR   "));
}

TEST(RaiseLower, GrowingAndShrinkingRunsShiftTheText)
{
    QString text = QStringLiteral("img98.jpg");
    QString marks = QStringLiteral("   cR    ");
    const char *const expected[] = {"img99.jpg", "img100.jpg", "img101.jpg"};
    for (const char *next : expected) {
        RaiseLower(text, marks);
        EXPECT_EQ(text, QString::fromLatin1(next));
    }
    EXPECT_EQ(marks, QStringLiteral("   cCR    "));
    // Back down: 101, 100, 99 (the leading 0 goes, its neighbour becomes c).
    marks = QStringLiteral("   cCL    ");
    RaiseLower(text, marks);
    RaiseLower(text, marks);
    EXPECT_EQ(text, QStringLiteral("img99.jpg"));
    EXPECT_EQ(marks, QStringLiteral("   cL    "));
}

TEST(MarkClick, CyclesMarksAndLaysOutRuns)
{
    auto clicks = [](const char *text, const char *marks, std::initializer_list<int> positions) {
        QStringList after;
        QString m = QString::fromLatin1(marks);
        for (int p : positions) {
            MarkClick(QString::fromLatin1(text), m, p);
            after << m;
        }
        return after;
    };
    // The 9 of img09: C on the 0, R on the 9; then L; then blank clears the run.
    EXPECT_EQ(clicks("img09", "     ", {5, 5, 5}), QStringList({"   CR", "   CL", "     "}));
    // A run's left end: C, c, blank.
    EXPECT_EQ(clicks("a129", "    ", {4, 2, 2, 2}), QStringList({" CCR", " cCR", "  CR", " RCR"}));
    // Letters run over both cases; a marked position is passed over.
    EXPECT_EQ(clicks("x-aBc", "  R  ", {5}), QStringList({"  RCR"}));
    // An L left of a counter joins its run; one right of a run counts again.
    EXPECT_EQ(clicks("12345", " LR  ", {2}), QStringList({" CR  "}));
    EXPECT_EQ(clicks("12345", "CL R ", {2}), QStringList({"CR R "}));
    // Positions outside the text and a mark on a shorter text change nothing.
    EXPECT_EQ(clicks("ab", "  ", {0, 3, -1}), QStringList({"  ", "  ", "  "}));
}

TEST(SwapMarks, SwapsRAndLOfEitherCase)
{
    QString marks = QStringLiteral("RLrlCc ");
    SwapMarks(marks);
    EXPECT_EQ(marks, QStringLiteral("LRLRCc "));
    EXPECT_TRUE(ValidMarks(QStringLiteral("ab"), QStringLiteral("cR")));
    EXPECT_FALSE(ValidMarks(QStringLiteral("ab"), QStringLiteral("R")));
    EXPECT_FALSE(ValidMarks(QStringLiteral("ab"), QStringLiteral("xR")));
}

TEST(UrlBarLogic, SeriesAnswerIsTheLeadingNumberRoundedAndCapped)
{
    using UrlBarLogic::SeriesLength;
    EXPECT_EQ(SeriesLength(QStringLiteral("3")), 3);
    EXPECT_EQ(SeriesLength(QStringLiteral("  12 steps")), 12);
    EXPECT_EQ(SeriesLength(QStringLiteral("2.5")), 2);
    EXPECT_EQ(SeriesLength(QStringLiteral("3.5")), 4);
    EXPECT_EQ(SeriesLength(QStringLiteral("ten")), 0);
    EXPECT_EQ(SeriesLength(QStringLiteral("-4")), 0);
    EXPECT_EQ(SeriesLength(QStringLiteral("1000000")), 10000);
    EXPECT_EQ(SeriesLength(QStringLiteral("99999999999999999999999")), 10000);
}

TEST(UrlBarLogic, ViewStartStaysInsideTheText)
{
    using UrlBarLogic::ClampViewStart;
    EXPECT_EQ(ClampViewStart(26, 45), 26);
    EXPECT_EQ(ClampViewStart(27, 45), 26);
    EXPECT_EQ(ClampViewStart(26, 46), 26);
    EXPECT_EQ(ClampViewStart(0, 12), 1);
    EXPECT_EQ(ClampViewStart(5, 12), 1);
}

TEST(UrlBarLogic, ClipboardTextTriggersOnceAndLinesAreOfferedNotTaken)
{
    using Kind = UrlBarLogic::ClipboardText::Kind;
    QString last;
    auto seen = [&last](const char *text) {
        return UrlBarLogic::ClipboardSeen(QString::fromLatin1(text), last);
    };
    const auto first = seen(" http://a/1.jpg ");
    EXPECT_EQ(first.kind, Kind::Address);
    EXPECT_EQ(first.address, QStringLiteral("http://a/1.jpg"));
    EXPECT_EQ(seen("http://a/1.jpg").kind, Kind::Seen);
    EXPECT_EQ(seen("").kind, Kind::Seen);
    EXPECT_EQ(seen("http://a/1.jpg\n").kind, Kind::Seen);
    EXPECT_EQ(seen("http://a/1.jpg\nhttp://a/2.jpg").kind, Kind::Lines);
    EXPECT_EQ(seen("http://a/1.jpg\r\nhttp://a/3.jpg").kind, Kind::Lines);
    EXPECT_EQ(seen("http://a/1.jpg\r\nhttp://a/3.jpg").kind, Kind::Seen);
    EXPECT_EQ(seen("http://b/\n").kind, Kind::Address);
}

TEST(UrlBarLogic, EdgeWatchSeesOnlyTheOutermostColumns)
{
    // A 1024-pixel screen at 15 twips per pixel, task bar at the bottom.
    const QRect area(0, 0, 1024 * 15, 738 * 15);
    auto atEdge = [&area](int column) {
        return UrlBarLogic::AtWorkAreaEdge(UrlBarLogic::CursorTwips(QPoint(column, 300), 96, 96),
                                           area);
    };
    EXPECT_TRUE(atEdge(0));
    EXPECT_TRUE(atEdge(1023));
    EXPECT_FALSE(atEdge(1022));
    EXPECT_FALSE(atEdge(1));
    EXPECT_EQ(UrlBarLogic::CursorTwips(QPoint(3, 7), 120, 96), QPoint(36, 105));
}

#ifdef QUARVEL_COUNT
TEST(CountTool, PrintsEachStepAndEachClickAndRefusesBadMarks)
{
    auto run = [](const QStringList &args, int &status) {
        QProcess tool;
        tool.start(QStringLiteral(QUARVEL_COUNT), args);
        EXPECT_TRUE(tool.waitForFinished(10000));
        status = tool.exitCode();
        return QString::fromLocal8Bit(tool.readAllStandardOutput());
    };
    int status = -1;
    EXPECT_EQ(run({"x98", " cR", "3"}, status), QStringLiteral("x99| cR\nx100| cCR\nx101| cCR\n"));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(run({"--click", "img09", "     ", "5", "5"}, status),
              QStringLiteral("|   CR|\n|   CL|\n"));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(run({"ab", "R", "1"}, status), QString());
    EXPECT_EQ(status, 2);
    EXPECT_EQ(run({"ab", "Rx", "1"}, status), QString());
    EXPECT_EQ(status, 2);
}
#endif

} // namespace
