// Behaviour of the download list and URL list models.
#include "downloadlistmodel.h"
#include "leadingnumber.h"
#include "listmodel.h"
#include "repaintlock.h"
#include "smallimages.h"
#include "statewords.h"
#include "urllistmodel.h"

#include <QBrush>
#include <QImage>
#include <QItemSelectionModel>
#include <QSet>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <utility>

namespace
{

using Col = DownloadListModel::DownloadColumn;

QModelIndex IndexArg(const QSignalSpy &spy, int call, int argument)
{
    return qvariant_cast<QModelIndex>(spy.at(call).at(argument));
}

// The cells a dataChanged call covers: top row, left column, bottom row,
// right column (model rows, from 0).
using CellRect = std::array<int, 4>;
CellRect ChangedRect(const QSignalSpy &spy, int call)
{
    const QModelIndex topLeft = IndexArg(spy, call, 0);
    const QModelIndex bottomRight = IndexArg(spy, call, 1);
    return {topLeft.row(), topLeft.column(), bottomRight.row(), bottomRight.column()};
}

// The first and last model row of a rowsInserted/rowsRemoved call (or the
// first and last section of a headerDataChanged call).
std::pair<int, int> RowSpan(const QSignalSpy &spy, int call)
{
    return {spy.at(call).at(1).toInt(), spy.at(call).at(2).toInt()};
}

// One column of every row, top to bottom.
QStringList Column(const ListModel &model, int column)
{
    QStringList cells;
    for (int row = 1; row <= model.count(); ++row)
        cells.append(model.subItem(row, column));
    return cells;
}

// The horizontal header texts, left to right.
QStringList Headers(const ListModel &model)
{
    QStringList headers;
    for (int column = 0; column < model.columnCount(); ++column)
        headers.append(model.headerData(column, Qt::Horizontal).toString());
    return headers;
}

// A three-column list with rows "a", "b", "c", each with its letter repeated
// in column 1 ("aa", "bb", "cc").
class ListModelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const QString &letter :
             {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}) {
            const int row = model.appendRow(letter);
            model.setSubItem(row, 1, letter + letter);
        }
    }

    ListModel model{{QStringLiteral("One"), QStringLiteral("Two"), QStringLiteral("Three")}};
};

// --- rows, addressed from 1 --------------------------------------------------

TEST_F(ListModelTest, AddressesRowsFromOneToCount)
{
    ASSERT_EQ(model.count(), 3);
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.text(1), QStringLiteral("a"));
    EXPECT_EQ(model.text(3), QStringLiteral("c"));
    EXPECT_EQ(model.subItem(3, 1), QStringLiteral("cc"));
    EXPECT_EQ(model.data(model.index(2, 1)).toString(), QStringLiteral("cc"));
    EXPECT_EQ(model.subItem(1, 2), QString()) << "never written";
}

TEST_F(ListModelTest, ReadsOutsideTheListAreEmptyAndWritesFail)
{
    const std::pair<int, int> outside[] = {{0, 0}, {4, 0}, {4, 1}, {1, 3}, {1, -1}, {-2, 1}};
    for (const auto &[row, column] : outside) {
        EXPECT_EQ(model.subItem(row, column), QString()) << row << "," << column;
        EXPECT_FALSE(model.setSubItem(row, column, QStringLiteral("x"))) << row << "," << column;
    }
    EXPECT_EQ(model.text(4), QString());
    EXPECT_FALSE(model.setText(4, QStringLiteral("x")));
    EXPECT_FALSE(model.removeRow(0));
    EXPECT_FALSE(model.removeRow(4));
    EXPECT_EQ(Column(model, 0), QStringList({"a", "b", "c"}));
}

TEST_F(ListModelTest, WritingALaterColumnLeavesEarlierOnesEmpty)
{
    const int row = model.appendRow(QStringLiteral("d"));
    ASSERT_TRUE(model.setSubItem(row, 2, QStringLiteral("far")));
    EXPECT_EQ(model.subItem(row, 1), QString());
    EXPECT_EQ(model.subItem(row, 2), QStringLiteral("far"));
    ASSERT_TRUE(model.setText(row, QStringLiteral("D")));
    EXPECT_EQ(model.subItem(row, 0), QStringLiteral("D"));
}

TEST_F(ListModelTest, InsertAcceptsPositionsFromOneToCountPlusOne)
{
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    EXPECT_FALSE(model.insertRow(0, QStringLiteral("x")));
    EXPECT_FALSE(model.insertRow(5, QStringLiteral("x")));
    EXPECT_EQ(inserted.count(), 0);

    ASSERT_TRUE(model.insertRow(1, QStringLiteral("first")));
    ASSERT_TRUE(model.insertRow(5, QStringLiteral("last")));
    EXPECT_EQ(model.appendRow(QStringLiteral("next")), 6);
    EXPECT_EQ(Column(model, 0), QStringList({"first", "a", "b", "c", "last", "next"}));

    ListModel empty({QStringLiteral("Only")});
    EXPECT_FALSE(empty.insertRow(2, QStringLiteral("x")));
    EXPECT_TRUE(empty.insertRow(1, QStringLiteral("x")));
}

TEST_F(ListModelTest, InsertInTheMiddleMovesLaterCellsAndSelectionDown)
{
    model.setSelected(2, true);
    ASSERT_TRUE(model.insertRow(2, QStringLiteral("new")));
    EXPECT_EQ(Column(model, 0), QStringList({"a", "new", "b", "c"}));
    EXPECT_EQ(Column(model, 1), QStringList({"aa", "", "bb", "cc"}));
    EXPECT_FALSE(model.isSelected(2));
    EXPECT_TRUE(model.isSelected(3));
    EXPECT_EQ(model.selectedRows(), QList<int>({3}));
}

TEST_F(ListModelTest, RemoveMovesLaterRowsAndTheirSelectionUp)
{
    model.setSelected(3, true);
    ASSERT_TRUE(model.removeRow(1));
    EXPECT_EQ(Column(model, 1), QStringList({"bb", "cc"}));
    EXPECT_EQ(model.selectedRows(), QList<int>({2}));

    // Removing the selected row leaves nothing selected.
    ASSERT_TRUE(model.removeRow(2));
    EXPECT_TRUE(model.selectedRows().isEmpty());
}

TEST_F(ListModelTest, RemovingScatteredRowsIsOneLayoutChangeAndMovesTheBatch)
{
    for (const QString &letter : {QStringLiteral("d"), QStringLiteral("e"), QStringLiteral("f")})
        model.appendRow(letter);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy layout(&model, &QAbstractItemModel::layoutChanged);
    QSignalSpy positions(&model, &ListModel::positionsRemoved);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    const QPersistentModelIndex f(model.index(5, 1)), e(model.index(4, 0));
    model.setSelected(4, true);
    model.suspendRepaint();
    model.setSubItem(4, 2, QStringLiteral("d2"));
    model.setSubItem(6, 2, QStringLiteral("f2"));
    // Runs 1-3 and 5 (given in any order, with a repeat and a stray position).
    EXPECT_EQ(model.removeRowsAt({5, 2, 1, 3, 2, 9}), 4);
    model.resumeRepaint();
    EXPECT_EQ(Column(model, 0), QStringList({"d", "f"}));
    EXPECT_EQ(model.selectedRows(), QList<int>({1}));
    EXPECT_EQ(removed.count(), 0);
    EXPECT_EQ(layout.count(), 1);
    ASSERT_EQ(positions.count(), 1);
    EXPECT_EQ(positions[0].at(0).value<QList<int>>(), QList<int>({1, 2, 3, 5}));
    EXPECT_EQ(f, model.index(1, 1));
    EXPECT_FALSE(e.isValid());
    // The cells written while suspended are announced where they now are.
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(ChangedRect(changed, 0), (CellRect{0, 2, 1, 2}));
}

// --- structural signals, as views and row bookkeeping see them ----------------

TEST_F(ListModelTest, InsertAndRemoveAnnounceZeroBasedRowsAfterTheChange)
{
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    // Listeners renumber running rows when these arrive: the list must already
    // show the change by then.
    int countWhenInserted = -1;
    QString textWhenInserted;
    int countWhenRemoved = -1;
    QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                     [&](const QModelIndex &, int first) {
                         countWhenInserted = model.count();
                         textWhenInserted = model.text(first + 1);
                     });
    QObject::connect(&model, &QAbstractItemModel::rowsRemoved,
                     [&] { countWhenRemoved = model.count(); });

    ASSERT_TRUE(model.insertRow(2, QStringLiteral("new")));
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_FALSE(IndexArg(inserted, 0, 0).isValid());
    EXPECT_EQ(RowSpan(inserted, 0), std::pair(1, 1));
    EXPECT_EQ(countWhenInserted, 4);
    EXPECT_EQ(textWhenInserted, QStringLiteral("new"));

    ASSERT_TRUE(model.removeRow(4));
    ASSERT_EQ(removed.count(), 1);
    EXPECT_FALSE(IndexArg(removed, 0, 0).isValid());
    EXPECT_EQ(RowSpan(removed, 0), std::pair(3, 3));
    EXPECT_EQ(countWhenRemoved, 3);

    EXPECT_EQ(model.appendRow(QStringLiteral("tail")), 4);
    ASSERT_EQ(inserted.count(), 2);
    EXPECT_EQ(RowSpan(inserted, 1), std::pair(3, 3));
}

TEST_F(ListModelTest, ClearRemovesAllRowsInOneAnnouncement)
{
    model.setSelected(1, true);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    model.clear();
    EXPECT_EQ(model.count(), 0);
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(RowSpan(removed, 0), std::pair(0, 2));
    EXPECT_TRUE(model.selectedRows().isEmpty());

    model.clear();
    EXPECT_EQ(removed.count(), 1) << "clearing an empty list announces nothing";
    EXPECT_EQ(model.appendRow(QStringLiteral("again")), 1);
}

TEST_F(ListModelTest, CellWritesAnnounceExactlyThatCell)
{
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    ASSERT_TRUE(model.setSubItem(3, 2, QStringLiteral("x")));
    ASSERT_TRUE(model.setText(2, QStringLiteral("B")));
    EXPECT_FALSE(model.setSubItem(4, 0, QStringLiteral("x")));
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(ChangedRect(changed, 0), (CellRect{2, 2, 2, 2}));
    EXPECT_EQ(ChangedRect(changed, 1), (CellRect{1, 0, 1, 0}));
}

// --- selection -----------------------------------------------------------------

TEST_F(ListModelTest, SelectsSeveralRowsAndListsThemAscending)
{
    model.setSelected(3, true);
    model.setSelected(1, true);
    EXPECT_EQ(model.selectedRows(), QList<int>({1, 3}));
    EXPECT_TRUE(model.isSelected(1));
    EXPECT_FALSE(model.isSelected(2));
    EXPECT_TRUE(model.isSelected(3));

    model.setSelected(3, false);
    EXPECT_EQ(model.selectedRows(), QList<int>({1}));

    // Selecting positions outside the list is ignored.
    model.setSelected(0, true);
    model.setSelected(4, true);
    EXPECT_FALSE(model.isSelected(4));
    EXPECT_EQ(model.selectedRows(), QList<int>({1}));
}

TEST_F(ListModelTest, SelectionMadeByAViewCounts)
{
    QItemSelectionModel *selection = model.selectionModel();
    ASSERT_NE(selection, nullptr);
    EXPECT_EQ(selection->model(), &model);
    // A view selecting whole rows, and one selecting a single cell.
    selection->select(model.index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->select(model.index(2, 1), QItemSelectionModel::Select);
    EXPECT_TRUE(model.isSelected(1));
    EXPECT_TRUE(model.isSelected(3));
    EXPECT_EQ(model.selectedRows(), QList<int>({1, 3}));
}

// --- captions ------------------------------------------------------------------

TEST(ListCaptions, BothListsHaveTheirColumnsInOrder)
{
    DownloadListModel downloads;
    EXPECT_EQ(Headers(downloads),
              QStringList({"Filename", "Progress", "Size", "State", "Source", "Target Dir",
                           "main URL", "min filesize", "mdnl number", "ref"}));
    EXPECT_EQ(downloads.columnCount(), int(DownloadListModel::DownloadColumnCount));
    EXPECT_EQ(downloads.caption(DownloadListModel::ColRef), QStringLiteral("ref"));
    EXPECT_EQ(downloads.caption(10), QString());

    UrlListModel urls;
    EXPECT_EQ(Headers(urls),
              QStringList({"URL", "filetypes", "recurse index depth", "stay onsite", "just go down",
                           "minimum filesize", "uniquefilename", "extra click", "file pattern"}));
    EXPECT_EQ(urls.columnCount(), int(UrlListModel::UrlColumnCount));
    EXPECT_EQ(urls.caption(UrlListModel::ColFilePattern), QStringLiteral("file pattern"));
}

TEST(ListCaptions, ReplacingACaptionUpdatesTheHeader)
{
    DownloadListModel model;
    QSignalSpy header(&model, &QAbstractItemModel::headerDataChanged);
    model.setCaption(DownloadListModel::ColSize, QStringLiteral("Größe"));
    EXPECT_EQ(model.caption(DownloadListModel::ColSize), QStringLiteral("Größe"));
    EXPECT_EQ(model.headerData(DownloadListModel::ColSize, Qt::Horizontal).toString(),
              QStringLiteral("Größe"));
    ASSERT_EQ(header.count(), 1);
    EXPECT_EQ(header.at(0).at(0).value<Qt::Orientation>(), Qt::Horizontal);
    EXPECT_EQ(RowSpan(header, 0), std::pair(2, 2)) << "first and last section";

    // Through the generic model interface as well.
    EXPECT_TRUE(model.setHeaderData(0, Qt::Horizontal, QStringLiteral("Dateiname")));
    EXPECT_EQ(model.caption(0), QStringLiteral("Dateiname"));
    EXPECT_EQ(header.count(), 2);

    // A column that does not exist keeps the header as it is.
    model.setCaption(10, QStringLiteral("none"));
    model.setCaption(-1, QStringLiteral("none"));
    EXPECT_FALSE(model.setHeaderData(10, Qt::Horizontal, QStringLiteral("none")));
    EXPECT_EQ(header.count(), 2);
}

// --- row colour ----------------------------------------------------------------

TEST_F(ListModelTest, RowColourPaintsEveryCellOfThatRowOnly)
{
    EXPECT_FALSE(model.rowColor(2).isValid());
    EXPECT_FALSE(model.data(model.index(1, 0), Qt::ForegroundRole).isValid());

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.setRowColor(2, Qt::red);
    EXPECT_EQ(model.rowColor(2), QColor(Qt::red));
    for (int column = 0; column < 3; ++column) {
        const QVariant foreground = model.data(model.index(1, column), Qt::ForegroundRole);
        EXPECT_EQ(qvariant_cast<QBrush>(foreground).color(), QColor(Qt::red)) << column;
    }
    EXPECT_FALSE(model.data(model.index(0, 0), Qt::ForegroundRole).isValid());
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(ChangedRect(changed, 0), (CellRect{1, 0, 1, 2}));

    // The colour stays with its row when a row is inserted before it.
    ASSERT_TRUE(model.insertRow(1, QStringLiteral("new")));
    EXPECT_FALSE(model.rowColor(2).isValid());
    EXPECT_EQ(model.rowColor(3), QColor(Qt::red));

    model.setRowColor(3, QColor());
    EXPECT_FALSE(model.rowColor(3).isValid());
    EXPECT_FALSE(model.data(model.index(2, 0), Qt::ForegroundRole).isValid());
    EXPECT_FALSE(model.rowColor(9).isValid());
}

// --- the download list's pictures and progress value --------------------------

TEST(SmallImages, PictureEightShowsABarSplitIntoColouredParts)
{
    const QImage picture = SmallImage(MultipartPicture);
    ASSERT_EQ(MultipartPicture, 8);
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), QSize(16, 16));
    QSet<QRgb> colours;
    int transparent = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const QColor pixel = picture.pixelColor(x, y);
            if (pixel.alpha() == 0)
                ++transparent;
            else
                colours.insert(pixel.rgb());
        }
    }
    EXPECT_GT(transparent, 0) << "the background shows through";
    EXPECT_GE(colours.size(), 3) << "several differently coloured parts";
    EXPECT_TRUE(SmallImage(0).isNull());
    EXPECT_TRUE(SmallImage(-1).isNull());
}

TEST(DownloadListPicture, ShowsInTheProgressCellUntilRemoved)
{
    DownloadListModel model;
    model.appendRow(QStringLiteral("C:\\pics\\a.jpg"));
    model.appendRow(QStringLiteral("C:\\pics\\b.jpg"));
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    model.setSubItemImage(2, Col::ColProgress, MultipartPicture, true);
    EXPECT_EQ(model.subItemImage(2, Col::ColProgress), MultipartPicture);
    const QVariant decoration = model.data(model.index(1, Col::ColProgress), Qt::DecorationRole);
    ASSERT_TRUE(decoration.canConvert<QImage>());
    EXPECT_EQ(qvariant_cast<QImage>(decoration), SmallImage(MultipartPicture));
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(ChangedRect(changed, 0), (CellRect{1, Col::ColProgress, 1, Col::ColProgress}));

    // Only that cell shows it, and it stays with its row.
    EXPECT_FALSE(model.data(model.index(0, Col::ColProgress), Qt::DecorationRole).isValid());
    EXPECT_FALSE(model.data(model.index(1, Col::ColSize), Qt::DecorationRole).isValid());
    ASSERT_TRUE(model.insertRow(1, QStringLiteral("C:\\pics\\first.jpg")));
    EXPECT_EQ(model.subItemImage(3, Col::ColProgress), MultipartPicture);
    EXPECT_EQ(model.subItemImage(2, Col::ColProgress), -1);

    model.setSubItemImage(3, Col::ColProgress, MultipartPicture, false);
    EXPECT_EQ(model.subItemImage(3, Col::ColProgress), -1);
    EXPECT_FALSE(model.data(model.index(2, Col::ColProgress), Qt::DecorationRole).isValid());
    EXPECT_EQ(changed.count(), 2);

    // A row that does not exist is left alone.
    model.setSubItemImage(9, Col::ColProgress, MultipartPicture, true);
    EXPECT_EQ(changed.count(), 2);
}

TEST(DownloadListProgress, ValueRoleReadsThePercentageClamped)
{
    DownloadListModel model;
    const int row = model.appendRow(QStringLiteral("C:\\pics\\a.jpg"));
    const QModelIndex progress = model.index(row - 1, Col::ColProgress);
    auto value = [&](const char *text) {
        model.setSubItem(row, Col::ColProgress, QString::fromLatin1(text));
        return model.data(progress, DownloadListModel::ProgressValueRole).toInt();
    };
    EXPECT_EQ(value(""), 0);
    EXPECT_EQ(value("37%"), 37);
    EXPECT_EQ(value(" 5 %"), 5);
    EXPECT_EQ(value("100%"), 100);
    EXPECT_EQ(value("250%"), 100);
    EXPECT_EQ(value("99999999999999999999%"), 100);
    EXPECT_EQ(value("n/a"), 0);
    EXPECT_FALSE(
        model.data(model.index(row - 1, Col::ColSize), DownloadListModel::ProgressValueRole)
            .isValid());
}

// --- repaint suspension --------------------------------------------------------

TEST_F(ListModelTest, SuspendedWritesAreAnnouncedOnceOnResume)
{
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.suspendRepaint();
    EXPECT_TRUE(model.isRepaintSuspended());
    model.setSubItem(2, 2, QStringLiteral("x"));
    model.setSubItem(3, 1, QStringLiteral("y"));
    model.setText(2, QStringLiteral("B"));
    EXPECT_EQ(changed.count(), 0);
    // The writes themselves are visible at once; only the announcement waits.
    EXPECT_EQ(model.subItem(2, 2), QStringLiteral("x"));

    model.resumeRepaint();
    EXPECT_FALSE(model.isRepaintSuspended());
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(ChangedRect(changed, 0), (CellRect{1, 0, 2, 2}));
}

TEST_F(ListModelTest, NestedSuspensionAnnouncesOnlyAtTheOutermostResume)
{
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.suspendRepaint();
    model.suspendRepaint();
    model.setSubItem(1, 1, QStringLiteral("x"));
    model.resumeRepaint();
    EXPECT_TRUE(model.isRepaintSuspended());
    EXPECT_EQ(changed.count(), 0);
    model.setSubItem(3, 2, QStringLiteral("y"));
    model.resumeRepaint();
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(ChangedRect(changed, 0), (CellRect{0, 1, 2, 2}));

    // An unmatched resume does not unbalance the next batch, and a batch
    // without writes announces nothing.
    model.resumeRepaint();
    model.suspendRepaint();
    EXPECT_TRUE(model.isRepaintSuspended());
    model.setSubItem(5, 1, QStringLiteral("nowhere"));
    model.resumeRepaint();
    EXPECT_FALSE(model.isRepaintSuspended());
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(ListModelTest, RowChangesWhileSuspendedAreAnnouncedAtOnceAndMoveTheBatch)
{
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    model.suspendRepaint();
    model.setSubItem(3, 1, QStringLiteral("written"));
    ASSERT_TRUE(model.insertRow(1, QStringLiteral("new")));
    EXPECT_EQ(inserted.count(), 1);
    model.resumeRepaint();
    // The written row is now at position 4 (model row 3).
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(ChangedRect(changed, 0), (CellRect{3, 1, 3, 1}));

    // A row inserted inside the batch pushes its lower end down.
    model.suspendRepaint();
    model.setSubItem(1, 1, QStringLiteral("top"));
    model.setSubItem(3, 1, QStringLiteral("bottom"));
    ASSERT_TRUE(model.insertRow(2, QStringLiteral("inside")));
    model.resumeRepaint();
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(ChangedRect(changed, 1), (CellRect{0, 1, 3, 1}));
    ASSERT_TRUE(model.removeRow(2));
    changed.clear();

    // A batch whose only written row was removed announces nothing, and never
    // a row beyond the list.
    model.suspendRepaint();
    model.setSubItem(4, 2, QStringLiteral("gone"));
    ASSERT_TRUE(model.removeRow(4));
    EXPECT_EQ(removed.count(), 2);
    model.resumeRepaint();
    EXPECT_EQ(changed.count(), 0);

    model.suspendRepaint();
    model.setSubItem(2, 1, QStringLiteral("cleared"));
    model.clear();
    model.resumeRepaint();
    EXPECT_EQ(changed.count(), 0);
}

TEST_F(ListModelTest, RepaintLockResumesOnEveryWayOut)
{
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    auto markRows = [&](bool stopEarly) {
        RepaintLock lock(model);
        model.setSubItem(1, 2, QStringLiteral("first"));
        if (stopEarly) return false;
        model.setSubItem(3, 2, QStringLiteral("last"));
        return true;
    };

    EXPECT_FALSE(markRows(true));
    EXPECT_FALSE(model.isRepaintSuspended());
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(ChangedRect(changed, 0), (CellRect{0, 2, 0, 2}));

    {
        RepaintLock outer(model);
        EXPECT_TRUE(markRows(false));
        EXPECT_TRUE(model.isRepaintSuspended());
        EXPECT_EQ(changed.count(), 1);
    }
    EXPECT_FALSE(model.isRepaintSuspended());
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(ChangedRect(changed, 1), (CellRect{0, 2, 2, 2}));
}

TEST(DownloadListPicture, PictureWrittenWhileSuspendedJoinsTheBatch)
{
    DownloadListModel model;
    model.appendRow(QStringLiteral("C:\\pics\\a.jpg"));
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    {
        RepaintLock lock(model);
        model.setSubItem(1, Col::ColState, StateProgress);
        model.setSubItemImage(1, Col::ColProgress, MultipartPicture, true);
        model.setSubItem(1, Col::ColSize, QStringLiteral("0/0 bytes"));
        EXPECT_EQ(changed.count(), 0);
    }
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(ChangedRect(changed, 0), (CellRect{0, Col::ColProgress, 0, Col::ColState}));
}

} // namespace
