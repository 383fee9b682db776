// The list files, the rows made from bare addresses and the clipboard
// capture, on the logic alone: round trips of both lists, the line and field
// rules, plain address files, the capture's words, large files, and the
// lists tool.
#include "clipboardcapture.h"
#include "downloadengine.h"
#include "downloadlistmodel.h"
#include "filebytes.h"
#include "listfiles.h"
#include "statefiles.h"
#include "urllistmodel.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

using ListFiles::DownloadListRows;
using ListFiles::UrlListRows;

const UrlRows::AddressRowOptions Options{" /dl/ ", "/dl/", 7, true};

QList<QStringList> Rows(const ListModel &list)
{
    return ListFiles::RowsOf(list);
}

QStringList DownloadRow(const QString &name, const QString &state = QString())
{
    return {"/dl/h/" + name, "37%", "10/27 bytes", state,  "http://h/" + name,
            "/dl/",          "h",   " 1024",       "TRUE", "http://h/page.html"};
}

// Saves rows through a model as the save command does, then loads the file.
QString SaveToText(const ListModel &list)
{
    return QString::fromUtf8(ListFiles::Serialise(ListFiles::RowsOf(list)));
}

} // namespace

TEST(ListFiles, DownloadListRoundTripAppendsIdenticalRowsAfterExistingOnes)
{
    QTemporaryDir dir;
    DownloadListModel saved;
    saved.appendRows(
        {DownloadRow("a.jpg", "Done"), DownloadRow("b.jpg", "progress"), DownloadRow("c d é.jpg")});
    const QString path = dir.filePath("list.gfl");
    ASSERT_TRUE(ListFiles::WriteFile(path, ListFiles::Serialise(Rows(saved))));
    // UTF-8, ten fields, CR LF after every line, the last one included.
    const QByteArray bytes = readAll(path);
    EXPECT_TRUE(bytes.startsWith("/dl/h/a.jpg<QVRL>37%<QVRL>10/27 bytes<QVRL>Done<QVRL>"));
    EXPECT_TRUE(bytes.endsWith("http://h/page.html\r\n"));
    EXPECT_EQ(bytes.count("\r\n"), 3);
    EXPECT_TRUE(bytes.contains("c d \xc3\xa9.jpg"));

    DownloadListModel loaded;
    DownloadState state;
    loaded.appendRow("/dl/existing.jpg");
    const std::optional<QString> text = ListFiles::ReadFile(path);
    ASSERT_TRUE(text);
    const ListFiles::DownloadRows rows = DownloadListRows(*text, Options);
    EXPECT_TRUE(rows.StartEnabled);
    EXPECT_EQ(ListFiles::AppendDownloadRows(loaded, state, rows.Rows), 3);
    EXPECT_EQ(loaded.count(), 4);
    EXPECT_EQ(state.LastRow, 4);
    EXPECT_EQ(Rows(loaded).mid(1), Rows(saved));
    EXPECT_EQ(loaded.text(1), "/dl/existing.jpg");

    // The same file as a URL list: the tenth field is ignored.
    UrlListModel urls;
    ListFiles::AppendUrlRows(urls, UrlListRows(*text));
    ASSERT_EQ(urls.count(), 3);
    EXPECT_EQ(urls.subItem(1, 8), "TRUE");
}

TEST(ListFiles, UrlListRoundTripAndAsADownloadList)
{
    UrlListModel saved;
    saved.appendRows({{"http://a/x.html", "1;0;0;0;1;png,bmp", "2", "1", "1", "10", "1", "1", "*"},
                      {"http://b/", "0;1;0;0;0;", "1"}});
    const QString text = SaveToText(saved);
    EXPECT_TRUE(text.endsWith("<QVRL><QVRL><QVRL><QVRL><QVRL><QVRL>\r\n"));

    UrlListModel loaded;
    loaded.appendRow("http://first/");
    ListFiles::AppendUrlRows(loaded, UrlListRows(text));
    EXPECT_EQ(Rows(loaded).mid(1), Rows(saved));

    // Loaded as a download list: the nine fields fill the first nine
    // columns, the referer stays empty.
    const QList<QStringList> rows = DownloadListRows(text, Options).Rows;
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].size(), 9);
    DownloadListModel list;
    DownloadState state;
    ListFiles::AppendDownloadRows(list, state, rows);
    EXPECT_EQ(list.subItem(1, DownloadListModel::ColMdnlNumber), "*");
    EXPECT_EQ(list.subItem(1, DownloadListModel::ColRef), "");
}

TEST(ListFiles, EmptyListsFilesAndLineEnds)
{
    // An empty list saves as an empty file; an empty file adds no row and
    // leaves the last-row index alone.
    DownloadListModel empty;
    EXPECT_EQ(ListFiles::Serialise(Rows(empty)), QByteArray());
    DownloadListModel list;
    DownloadState state;
    state.LastRow = 5;
    const ListFiles::DownloadRows none = DownloadListRows(QString(), Options);
    EXPECT_FALSE(none.StartEnabled);
    EXPECT_EQ(ListFiles::AppendDownloadRows(list, state, none.Rows), 0);
    EXPECT_EQ(state.LastRow, 5);
    EXPECT_TRUE(UrlListRows(QString()).isEmpty());

    // A last line without CR LF loads all the same; lines written on Linux
    // (lone LF) too; a CR at a line's end is not part of its last field;
    // the separator is found in any letter case.
    const QString text = "a<QVRL>1\r\nb<qvrl>2\nc<QvRl>3\r";
    const QList<QStringList> rows = UrlListRows(text);
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[0], QStringList({"a", "1"}));
    EXPECT_EQ(rows[1], QStringList({"b", "2"}));
    EXPECT_EQ(rows[2], QStringList({"c", "3"}));
    // A line without separator adds no row, and a blank last piece is no line.
    EXPECT_EQ(UrlListRows("x<QVRL>y\r\nno separator\r\n  ").size(), 1);
    // In a download list too: two fields make a row.
    EXPECT_EQ(DownloadListRows("x<QVRL>y\r\nno separator\r\n", Options).Rows,
              QList<QStringList>({{"x", "y"}}));
}

TEST(ListFiles, FieldsHoldingSeparatorsOrLineBreaksKeepTheRowCount)
{
    UrlListModel saved;
    saved.appendRows({{"http://h/a<QVRL>b", "x\r\ny", "<qvrl>", "<QV\nRL>", "<"}});
    const QString text = SaveToText(saved);
    EXPECT_EQ(text, "http://h/a%3CQVRL>b<QVRL>xy<QVRL>%3Cqvrl><QVRL>%3CQVRL><QVRL><"
                    "<QVRL><QVRL><QVRL><QVRL>\r\n");
    const QList<QStringList> rows = UrlListRows(text);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].size(), 9);
    EXPECT_EQ(rows[0][4], "<");
}

TEST(ListFiles, RowsReadFromAnyFileSaveAndLoadBackExactly)
{
    // A lone CR inside a field, and a first field that starts with a byte
    // order mark (the reader drops only the file's own).
    QTemporaryDir dir;
    const QString path = dir.filePath("odd.gfl");
    auto load = [&](const QByteArray &bytes) {
        EXPECT_TRUE(ListFiles::WriteFile(path, bytes));
        return UrlListRows(ListFiles::ReadFile(path).value_or(QString()));
    };
    const QList<QStringList> rows = load("\xEF\xBB\xBF\xEF\xBB\xBF"
                                         "a\rb<QVRL>c\r\r\n\rd<QVRL>e\r\n");
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0], QStringList({QString(QChar(0xFEFF)) + "a\rb", "c\r"}));
    EXPECT_EQ(rows[1], QStringList({"\rd", "e"}));
    EXPECT_EQ(load(ListFiles::Serialise(rows)), rows);
}

TEST(ListFiles, PlainAddressFiles)
{
    // A full address, an empty line and a word without "/": one row.
    const ListFiles::DownloadRows rows =
        DownloadListRows("  http://host.example/pics/a.jpg  \r\n\r\nword\r\n", Options);
    EXPECT_TRUE(rows.StartEnabled);
    ASSERT_EQ(rows.Rows.size(), 1);
    EXPECT_EQ(rows.Rows[0], QStringList({"/dl/host.example/a.jpg", "", "0/0 bytes", "",
                                         "http://host.example/pics/a.jpg", "/dl/", "host.example",
                                         " 7168", "TRUE", ""}));

    // A scheme in mixed case stays: the host is the scheme with its colon.
    // Addresses never lead out of the target folder; lone LFs end lines.
    const QList<QStringList> more =
        DownloadListRows("Http://h/b.jpg\nhttp://../../x/..\nhttp://a/b/../../../c", {}).Rows;
    ASSERT_EQ(more.size(), 3);
    EXPECT_EQ(more[0][DownloadListModel::ColFilename], "Http:/b.jpg");
    EXPECT_EQ(more[0][DownloadListModel::ColMainURL], "Http:");
    EXPECT_EQ(more[0][DownloadListModel::ColMinFileSize], " 0");
    EXPECT_EQ(more[0][DownloadListModel::ColMdnlNumber], "");
    EXPECT_EQ(more[1][DownloadListModel::ColFilename], "_/_");
    EXPECT_EQ(more[2][DownloadListModel::ColFilename], "a/c");
}

TEST(ClipboardCapture, WordsBecomeRowsInOrder)
{
    // Two addresses on one line and one on the next (CR LF or a lone LF).
    const QList<QStringList> rows = ClipboardCapture::Rows(
        " http://a.example/x/1.jpg http://b.example/2.jpg\r\nhttp://c.example/3.jpg\n"
        "HTTP://d.example/4.jpg https://e.example/p/5.jpg",
        Options);
    ASSERT_EQ(rows.size(), 5);
    EXPECT_EQ(rows[0],
              QStringList({"/dl/a.example/1.jpg", "", "0/0 bytes", "", "http://a.example/x/1.jpg",
                           "/dl/", "a.example", "7168", "TRUE", ""}));
    EXPECT_EQ(rows[1][DownloadListModel::ColMainURL], "b.example");
    EXPECT_EQ(rows[2][DownloadListModel::ColSource], "http://c.example/3.jpg");
    EXPECT_EQ(rows[3][DownloadListModel::ColMainURL], "d.example");
    // A secure address goes under its host's folder like a plain one.
    EXPECT_EQ(rows[4][DownloadListModel::ColFilename], "/dl/e.example/5.jpg");
    EXPECT_EQ(rows[4][DownloadListModel::ColMainURL], "e.example");

    // A scheme and host only gives no row; a relative path's host is its
    // first segment; a tab does not separate words; without multi-part the
    // marker is empty.
    EXPECT_TRUE(ClipboardCapture::Rows("http://host.example", Options).isEmpty());
    const QList<QStringList> relative = ClipboardCapture::Rows("dir/sub/f.gif", {});
    ASSERT_EQ(relative.size(), 1);
    EXPECT_EQ(relative[0][DownloadListModel::ColFilename], "dir/f.gif");
    EXPECT_EQ(relative[0][DownloadListModel::ColMdnlNumber], "");
    EXPECT_EQ(ClipboardCapture::Words("a/1\tb/2 c/3"), QStringList({"a/1\tb/2", "c/3"}));

    // Captured rows follow the list's last row.
    DownloadListModel list;
    DownloadState state;
    list.appendRow("/dl/old.jpg");
    EXPECT_EQ(ClipboardCapture::Capture(list, state, "http://h/a.jpg\nhttp://h/b.jpg", Options), 2);
    EXPECT_EQ(list.count(), 3);
    EXPECT_EQ(state.LastRow, 3);
}

TEST(ListFiles, AHundredThousandRowsLoadInOneInsertionUnderTwoSeconds)
{
    QByteArray file;
    for (int i = 0; i < 100000; ++i)
        file += "/dl/h/" + QByteArray::number(i) +
                ".jpg<QVRL><QVRL>0/0 bytes<QVRL><QVRL>http://h/x.jpg<QVRL>/dl/<QVRL>h<QVRL> "
                "0<QVRL>TRUE<QVRL>\r\n";
    QTemporaryDir dir;
    StateFiles files(dir.path());
    DownloadListModel list;
    DownloadState state;
    DownloadEngine engine(list, state, files);
    QSignalSpy inserted(&list, &QAbstractItemModel::rowsInserted);
    const QString path = dir.filePath("big.gfl");
    ASSERT_TRUE(ListFiles::WriteFile(path, file));

    QElapsedTimer timer;
    timer.start();
    const std::optional<QString> text = ListFiles::ReadFile(path);
    ASSERT_TRUE(text);
    ListFiles::AppendDownloadRows(list, state, DownloadListRows(*text, Options).Rows);
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(list.count(), 100000);
    EXPECT_EQ(inserted.count(), 1);
    EXPECT_EQ(list.text(100000), "/dl/h/99999.jpg");
}

TEST(ListsTool, SavesLoadsCapturesAndFailsOnUnreadableFiles)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("saved.gfl");
    auto run = [](const QStringList &args, const QByteArray &input, QByteArray *out = nullptr) {
        QProcess p;
        p.start(QUARVEL_LISTS_TOOL, args);
        p.write(input);
        p.closeWriteChannel();
        p.waitForFinished(30000);
        if (out) *out = p.readAllStandardOutput();
        return p.exitCode();
    };
    EXPECT_EQ(run({"save-download", file}, "/dl/h/a.jpg\t\t0/0 bytes\t\thttp://h/a.jpg\n"), 0);
    QByteArray out;
    EXPECT_EQ(run({"load-download", file}, {}, &out), 0);
    EXPECT_EQ(out, "/dl/h/a.jpg\t\t0/0 bytes\t\thttp://h/a.jpg\t\t\t\t\t\n");
    EXPECT_EQ(run({"capture", "--target-dir", "/t", "--min-kb", "2", "--multi"}, "http://h/b.jpg\n",
                  &out),
              0);
    EXPECT_EQ(out, "/t/h/b.jpg\t\t0/0 bytes\t\thttp://h/b.jpg\t/t\th\t2048\tTRUE\t\n");
    EXPECT_EQ(run({"load-url", dir.filePath("missing.gfl")}, {}), 2);
    EXPECT_EQ(run({"save-url", dir.filePath("no/such/folder/x.gfl")}, "a\tb\n"), 2);
}

TEST(ListFiles, AFailedRowKeepsItsReasonInAnEleventhField)
{
    DownloadListModel saved;
    saved.appendRows({DownloadRow("a.jpg", "failed"), DownloadRow("b.jpg", "Done")});
    saved.setSubItemToolTip(1, DownloadListModel::ColState, "HTTP status 404");
    const QString text = QString::fromUtf8(ListFiles::Serialise(ListFiles::DownloadRowsOf(saved)));
    // Only the failed row has the extra field; a ten-field reader ignores it.
    const QStringList lines = text.split("\r\n");
    EXPECT_TRUE(lines[0].endsWith("<QVRL>HTTP status 404"));
    EXPECT_EQ(lines[1].count("<QVRL>"), 9);
    EXPECT_EQ(UrlListRows(text)[0].size(), UrlListModel::UrlColumnCount);

    DownloadListModel loaded;
    DownloadState state;
    ListFiles::AppendDownloadRows(loaded, state, DownloadListRows(text, Options).Rows);
    EXPECT_EQ(Rows(loaded), Rows(saved));
    EXPECT_EQ(loaded.subItemToolTip(1, DownloadListModel::ColState), "HTTP status 404");
    EXPECT_EQ(loaded.subItemToolTip(2, DownloadListModel::ColState), "");
}
