// The status line's counts, speed and time left, and the failure reasons and
// state words shown in the user's language.
#include "downloadlistmodel.h"
#include "programstate.h"
#include "progressline.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

namespace
{
using Col = DownloadListModel::DownloadColumn;
} // namespace

TEST(ProgressLineText, CountsEveryStateAndEstimatesTheTimeLeft)
{
    DownloadListModel list;
    const QList<std::pair<QString, QString>> rows = {{"Done", "1000/1000 bytes"},
                                                     {"Done", "3000/3000 bytes"},
                                                     {"failed", ""},
                                                     {"too small", "0/0 bytes"},
                                                     {"progress", "500/2500 bytes"},
                                                     {"", ""},
                                                     {" ", ""}};
    for (const auto &[state, size] : rows) {
        const int row = list.appendRow("/t/file");
        list.setSubItem(row, Col::ColState, state);
        list.setSubItem(row, Col::ColSize, size);
    }
    const ListTally tally = ListTally::Of(list);
    LanguageTexts english;
    // Left: 2000 bytes of the running file and, for each of the two waiting
    // files, the finished files' average of 2000 bytes: 6000 bytes at 1.5 KB/s.
    EXPECT_EQ(ProgressLine::Text(tally, 1536, english),
              QString::fromUtf8("2 of 7 done · 1 failed · 1 too small · 1.5 KB/s · 4 s left"));
    // Nothing running: no speed, no time; the language file's words count.
    LanguageTexts german;
    german.SetText("STATUSDONE", QString::fromUtf8("%1 von %2 fertig"));
    list.setSubItem(5, Col::ColState, "Done");
    EXPECT_EQ(ProgressLine::Text(ListTally::Of(list), 1536, german),
              QString::fromUtf8("3 von 7 fertig · 1 failed · 1 too small"));
    EXPECT_EQ(ProgressLine::Text(ListTally::Of(DownloadListModel()), 0, english), QString());

    // The speed follows the engine's received bytes between samples.
    ProgressLine line;
    line.Sample(0, 0);
    line.Sample(3000, 2000);
    EXPECT_DOUBLE_EQ(line.BytesPerSecond(), 1500);
    EXPECT_EQ(ProgressLine::Duration(3 * 3600 + 65), "3:01:05");
}

TEST(ProgressLineText, TwentyThousandRowsAreCountedInAFewMilliseconds)
{
    DownloadListModel list;
    QList<QStringList> rows;
    for (int i = 0; i < 20000; ++i)
        rows.append({"/t/f", "", "12345/12345 bytes", i % 3 ? "Done" : ""});
    list.appendRows(rows);
    QElapsedTimer clock;
    clock.start();
    const ListTally tally = ListTally::Of(list);
    EXPECT_LT(clock.elapsed(), 50);
    EXPECT_EQ(tally.Done + tally.Waiting, 20000);
}

TEST(DownloadListToolTip, ReasonAndStateShowInTheLanguageAndAreKeptInEnglish)
{
    DownloadListModel list;
    list.appendRow("/t/a.jpg");
    list.setSubItemToolTip(1, Col::ColState, "connection refused by h.example (closed)");
    LanguageTexts german;
    german.SetText("FAILREFUSED", "Verbindung von %1 abgelehnt (%2)");
    list.Texts = &german;
    EXPECT_EQ(list.index(0, Col::ColState).data(Qt::ToolTipRole).toString(),
              "Verbindung von h.example abgelehnt (closed)");
    EXPECT_EQ(list.subItemToolTip(1, Col::ColState), "connection refused by h.example (closed)");
    // The state word too; the cell keeps the word the machinery matches.
    german.SetText("STATEDONE", "fertig");
    list.setSubItem(1, Col::ColState, "Done");
    EXPECT_EQ(list.index(0, Col::ColState).data().toString(), "fertig");
    EXPECT_EQ(list.subItem(1, Col::ColState), "Done");
    // A reason no pattern knows shows as it is.
    list.setSubItemToolTip(1, Col::ColState, "odd: thing");
    EXPECT_EQ(list.index(0, Col::ColState).data(Qt::ToolTipRole).toString(), "odd: thing");
}
