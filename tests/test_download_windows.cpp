// The download window and the broken-downloads question: controls, designed
// texts, the lists' wiring to their models, layout, the progress cells, the
// question's answers, and the agreement of the language fragments with the
// windows' built-in texts.
#include "downloadlistmodel.h"
#include "frmdownloaddata.h"
#include "frmloaddeletebroken.h"
#include "progressdelegate.h"
#include "smallimages.h"
#include "urllistmodel.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

namespace
{

struct Control {
    const char *name;
    const char *className;
    QObject *member;
};

// Exactly one child carries the name, it is the public member and of the
// expected class.
void ExpectControls(const QObject &window, const std::vector<Control> &controls)
{
    for (const Control &control : controls) {
        SCOPED_TRACE(control.name);
        const QList<QObject *> found = window.findChildren<QObject *>(control.name);
        ASSERT_EQ(found.size(), 1);
        EXPECT_EQ(found.front(), control.member);
        EXPECT_TRUE(found.front()->inherits(control.className));
    }
}

class DownloadWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Pixel checks below rely on one known style.
        style.reset(QStyleFactory::create(QStringLiteral("Fusion")));
        ASSERT_TRUE(style);
    }

    void Show()
    {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    DownloadListModel downloads;
    UrlListModel urls;
    frmDownloadData window{downloads, urls};
    std::unique_ptr<QStyle> style;
};

TEST_F(DownloadWindowTest, EveryControlExistsWithItsNameAndClass)
{
    EXPECT_EQ(window.objectName(), QStringLiteral("frmDownloadData"));
    EXPECT_STREQ(window.metaObject()->className(), "frmDownloadData");
    EXPECT_TRUE(window.isWindow());
    EXPECT_FALSE(window.isVisible());
    ExpectControls(
        window,
        {
            {"frameURLList", "QGroupBox", window.frameURLList},
            {"ListView2", "QTreeView", window.ListView2},
            {"cmdPut2DownloadList", "QPushButton", window.cmdPut2DownloadList},
            {"cmdStopFillingDownloadlist", "QPushButton", window.cmdStopFillingDownloadlist},
            {"cmdDeleteFromURLList", "QPushButton", window.cmdDeleteFromURLList},
            {"cmdClearURLList", "QPushButton", window.cmdClearURLList},
            {"cmdSaveURLlist", "QPushButton", window.cmdSaveURLlist},
            {"cmdLoadURLlist", "QPushButton", window.cmdLoadURLlist},
            {"frameDownloadList", "QGroupBox", window.frameDownloadList},
            {"ListView1", "QTreeView", window.ListView1},
            {"Command1", "QPushButton", window.Command1},
            {"cmdRestartSelectedDownloads", "QPushButton", window.cmdRestartSelectedDownloads},
            {"cmdStopDownload", "QPushButton", window.cmdStopDownload},
            {"cmdStopAllRunningDownloads", "QPushButton", window.cmdStopAllRunningDownloads},
            {"cmdDeleteFromList", "QPushButton", window.cmdDeleteFromList},
            {"Command2", "QPushButton", window.Command2},
            {"cmdOpenTargetDir", "QPushButton", window.cmdOpenTargetDir},
            {"cmdPictureMode", "QPushButton", window.cmdPictureMode},
            {"cmdSaveDownloadlist", "QPushButton", window.cmdSaveDownloadlist},
            {"cmdLoadDownloadlist", "QPushButton", window.cmdLoadDownloadlist},
            {"label1", "QLabel", window.label1},
            {"Picture1", "QLabel", window.Picture1},
            {"Timer1", "QTimer", window.Timer1},
        });
    // The lists sit in their frames.
    EXPECT_TRUE(window.frameURLList->isAncestorOf(window.ListView2));
    EXPECT_TRUE(window.frameDownloadList->isAncestorOf(window.ListView1));
}

TEST_F(DownloadWindowTest, CommandsCarryTheirDesignedTexts)
{
    const QString clearList =
        QStringLiteral("clear list: can only be cleared if there are no running download jobs");
    const QString deleteSelected = QStringLiteral("delete selected entries from list");
    const std::vector<std::pair<QPushButton *, QString>> captions = {
        {window.cmdPut2DownloadList,
         QStringLiteral("look in selected URLs and put files found in downloadlist")},
        {window.cmdStopFillingDownloadlist, QStringLiteral("stop filling downloadlist")},
        {window.cmdDeleteFromURLList, deleteSelected},
        {window.cmdClearURLList, clearList},
        {window.Command1, QStringLiteral("start all downloads in list")},
        {window.cmdRestartSelectedDownloads, QStringLiteral("(re)start selected downloads")},
        {window.cmdStopDownload, QStringLiteral("abort selected download jobs")},
        {window.cmdDeleteFromList, deleteSelected},
        {window.Command2, clearList},
        {window.cmdOpenTargetDir, QStringLiteral("open target directory")},
    };
    for (const auto &[button, caption] : captions)
        EXPECT_EQ(button->text(), caption) << qPrintable(button->objectName());

    const std::vector<std::pair<QPushButton *, QString>> toolTips = {
        {window.cmdPut2DownloadList,
         QStringLiteral("search for files in selected URLs from URL list and put them in "
                        "downloadlist beyond")},
        {window.cmdPictureMode,
         QStringLiteral("picture mode - Attention: you cannot use the delete or stop buttons "
                        "because every time you click on a file the file will be shown in the "
                        "new opened picture window!")},
        {window.cmdLoadDownloadlist, QStringLiteral("load saved downloadlist")},
        {window.cmdSaveDownloadlist, QStringLiteral("save actual downloadlist")},
        {window.cmdLoadURLlist, QStringLiteral("load saved urllist")},
        {window.cmdSaveURLlist, QStringLiteral("save actual urllist")},
    };
    for (const auto &[button, toolTip] : toolTips)
        EXPECT_EQ(button->toolTip(), toolTip) << qPrintable(button->objectName());
    EXPECT_TRUE(window.cmdPictureMode->isCheckable());
}

TEST_F(DownloadWindowTest, StopAllButtonShowsARedSquareAndNoText)
{
    QPushButton *button = window.cmdStopAllRunningDownloads;
    EXPECT_TRUE(button->text().isEmpty());
    EXPECT_FALSE(button->toolTip().isEmpty());
    ASSERT_FALSE(button->icon().isNull());
    const QImage icon = button->icon().pixmap(16, 16).toImage();
    const QColor centre = icon.pixelColor(icon.width() / 2, icon.height() / 2);
    EXPECT_GT(centre.red(), 180);
    EXPECT_LT(centre.green(), 80);
    EXPECT_EQ(centre.alpha(), 255);
}

TEST_F(DownloadWindowTest, ButtonStateTimerIsPreparedButNotRunning)
{
    EXPECT_EQ(window.Timer1->interval(), 4000);
    EXPECT_FALSE(window.Timer1->isActive());
    EXPECT_FALSE(window.Timer1->isSingleShot());
}

TEST_F(DownloadWindowTest, ListsShowTheirModelsWithEveryColumn)
{
    const std::vector<std::pair<QTreeView *, ListModel *>> lists = {{window.ListView1, &downloads},
                                                                    {window.ListView2, &urls}};
    for (const auto &[view, model] : lists) {
        SCOPED_TRACE(qPrintable(view->objectName()));
        EXPECT_EQ(view->model(), model);
        EXPECT_EQ(view->selectionModel(), model->selectionModel());
        EXPECT_FALSE(view->rootIsDecorated());
        EXPECT_TRUE(view->uniformRowHeights());
        EXPECT_EQ(view->selectionMode(), QAbstractItemView::ExtendedSelection);
        EXPECT_EQ(view->selectionBehavior(), QAbstractItemView::SelectRows);
        EXPECT_EQ(view->header()->count(), model->columnCount());
        for (int column = 0; column < model->columnCount(); ++column) {
            EXPECT_FALSE(view->isColumnHidden(column)) << column;
            EXPECT_EQ(view->header()->model()->headerData(column, Qt::Horizontal).toString(),
                      model->caption(column));
        }
    }
    EXPECT_EQ(window.ListView1->header()->count(), 10);
    EXPECT_EQ(window.ListView2->header()->count(), 9);

    // A caption the language file replaces reaches the view's header.
    downloads.setCaption(DownloadListModel::ColSize, QStringLiteral("Größe"));
    EXPECT_EQ(window.ListView1->header()->model()->headerData(2, Qt::Horizontal).toString(),
              QStringLiteral("Größe"));
}

TEST_F(DownloadWindowTest, SelectionIsSharedBetweenViewsAndModels)
{
    for (int row = 1; row <= 4; ++row) {
        downloads.appendRow(QStringLiteral("C:\\dl\\file%1.jpg").arg(row));
        urls.appendRow(QStringLiteral("http://host/page%1.html").arg(row));
    }
    Show();

    const std::vector<std::pair<QTreeView *, ListModel *>> lists = {{window.ListView1, &downloads},
                                                                    {window.ListView2, &urls}};
    for (const auto &[view, model] : lists) {
        SCOPED_TRACE(qPrintable(view->objectName()));
        auto rowCentre = [view = view, model = model](int position) {
            return view->visualRect(model->index(position - 1, 0)).center();
        };
        // A click selects the whole row; Ctrl adds a second one.
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rowCentre(2));
        EXPECT_EQ(model->selectedRows(), QList<int>({2}));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(4));
        EXPECT_EQ(model->selectedRows(), QList<int>({2, 4}));
        EXPECT_TRUE(model->isSelected(4));
        EXPECT_TRUE(view->selectionModel()->isSelected(model->index(3, model->columnCount() - 1)));

        // Selecting through the model shows in the view.
        model->setSelected(2, false);
        model->setSelected(1, true);
        EXPECT_TRUE(view->selectionModel()->isRowSelected(0, QModelIndex()));
        EXPECT_FALSE(view->selectionModel()->isRowSelected(1, QModelIndex()));
    }
}

TEST_F(DownloadWindowTest, FramesAndListsFollowTheWindowSize)
{
    Show();
    window.resize(900, 600);
    QApplication::processEvents();
    const QSize urlListBefore = window.ListView2->size();
    const QSize downloadListBefore = window.ListView1->size();

    window.resize(1400, 1000);
    QApplication::processEvents();
    EXPECT_GT(window.ListView2->width(), urlListBefore.width() + 400);
    EXPECT_GT(window.ListView1->width(), downloadListBefore.width() + 400);
    EXPECT_GT(window.ListView1->height(), downloadListBefore.height() + 200);
    EXPECT_GT(window.frameDownloadList->height(), window.frameURLList->height());
    EXPECT_GE(window.frameDownloadList->geometry().top(), window.frameURLList->geometry().bottom());
    EXPECT_TRUE(window.rect().contains(window.frameDownloadList->geometry()));
    EXPECT_TRUE(window.rect().contains(window.Picture1->geometry()));
}

// The progress cells: a bar filled in proportion, the text kept, the picture
// kept, and no crash on odd values.
class ProgressCellTest : public DownloadWindowTest
{
protected:
    static constexpr int BarWidth = 200;

    void SetUp() override
    {
        DownloadWindowTest::SetUp();
        for (const char *progress : {"", "37%", "150%", "100%", "0%", "37%"}) {
            const int row = downloads.appendRow(QStringLiteral("C:\\dl\\a.jpg"));
            downloads.setSubItem(row, DownloadListModel::ColProgress, QLatin1String(progress));
        }
        downloads.setSubItemImage(6, DownloadListModel::ColProgress, MultipartPicture, true);
        window.ListView1->setStyle(style.get());
        window.ListView1->header()->resizeSection(DownloadListModel::ColProgress, BarWidth);
        Show();
        QTreeView *view = window.ListView1;
        image = QImage(view->viewport()->size(), QImage::Format_ARGB32);
        image.fill(Qt::white);
        view->viewport()->render(&image);
    }

    QRect Cell(int row) const
    {
        return window.ListView1->visualRect(
            downloads.index(row - 1, DownloadListModel::ColProgress));
    }

    // How far, in pixels from the cell's left edge, the bar is filled with
    // the highlight colour, measured just inside the bar's top edge where
    // no text lies.
    int FilledWidth(int row) const
    {
        const QRect cell = Cell(row);
        const QColor highlight = window.ListView1->palette().color(QPalette::Highlight);
        int filled = 0;
        const int y = cell.top() + 4;
        for (int x = cell.left(); x <= cell.right(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (std::abs(pixel.hue() - highlight.hue()) < 20 && pixel.saturation() > 60)
                filled = x - cell.left() + 1;
        }
        return filled;
    }

    QImage image;
};

TEST_F(ProgressCellTest, ProgressColumnHasTheBarDelegate)
{
    QTreeView *view = window.ListView1;
    EXPECT_TRUE(qobject_cast<ProgressDelegate *>(
        view->itemDelegateForColumn(DownloadListModel::ColProgress)));
    for (int column = 0; column < downloads.columnCount(); ++column) {
        if (column == DownloadListModel::ColProgress) continue;
        EXPECT_FALSE(qobject_cast<ProgressDelegate *>(view->itemDelegateForColumn(column)));
    }
}

TEST_F(ProgressCellTest, BarFillsInProportionAndClampsAtFull)
{
    EXPECT_EQ(FilledWidth(1), 0); // no progress yet: an ordinary empty cell
    EXPECT_LE(FilledWidth(5), 3); // 0%: at most the style's edge line
    const int partial = FilledWidth(2);
    const int full = FilledWidth(4);
    EXPECT_GT(partial, BarWidth * 25 / 100);
    EXPECT_LT(partial, BarWidth * 50 / 100);
    EXPECT_GT(full, BarWidth * 90 / 100);
    EXPECT_EQ(FilledWidth(3), full); // 150% stays a full bar
}

TEST_F(ProgressCellTest, PictureStaysVisibleBesideTheBar)
{
    // The first segment colour of the multi-part picture appears at the left
    // of the cell that shows it, and nowhere in the same cell without it.
    const QColor segment = SmallImage(MultipartPicture).pixelColor(2, 6);
    auto hasSegment = [&](int row) {
        const QRect cell = Cell(row);
        for (int y = cell.top(); y <= cell.bottom(); ++y)
            for (int x = cell.left(); x < cell.left() + 24; ++x)
                if (image.pixelColor(x, y) == segment) return true;
        return false;
    };
    EXPECT_TRUE(hasSegment(6));
    EXPECT_FALSE(hasSegment(2));
    // The bar moves right of the picture but still shows the same fill share.
    EXPECT_GT(FilledWidth(6), FilledWidth(2) - 30);
}

TEST_F(ProgressCellTest, ChangingCellsRepaintWithoutTrouble)
{
    downloads.setSubItem(1, DownloadListModel::ColProgress, QStringLiteral("37%"));
    downloads.setSubItem(2, DownloadListModel::ColProgress, QString());
    downloads.setSubItem(3, DownloadListModel::ColProgress, QStringLiteral("-5%"));
    window.ListView1->header()->resizeSection(DownloadListModel::ColProgress, 3);
    QImage small(window.ListView1->size(), QImage::Format_ARGB32);
    window.ListView1->render(&small);
    window.ListView1->header()->resizeSection(DownloadListModel::ColProgress, BarWidth);
    image.fill(Qt::white);
    window.ListView1->viewport()->render(&image);
    EXPECT_EQ(FilledWidth(2), 0);
    EXPECT_GT(FilledWidth(1), BarWidth * 25 / 100);
}

// The broken-downloads question.
class BrokenQuestionTest : public ::testing::Test
{
protected:
    void Show()
    {
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    }

    frmLoadDeleteBroken dialog;
};

TEST_F(BrokenQuestionTest, ElementsCarryTheirDesignedTexts)
{
    EXPECT_EQ(dialog.objectName(), QStringLiteral("frmLoadDeleteBroken"));
    EXPECT_STREQ(dialog.metaObject()->className(), "frmLoadDeleteBroken");
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(dialog.isModal());
    EXPECT_EQ(dialog.windowTitle(),
              QStringLiteral("Quarvel - Warning: there are broken downloads!"));
    ExpectControls(dialog, {
                               {"Label1", "QLabel", dialog.Label1},
                               {"cmdLoad", "QPushButton", dialog.cmdLoad},
                               {"cmdNormalStartup", "QPushButton", dialog.cmdNormalStartup},
                               {"cmdClearBrokenDnl", "QPushButton", dialog.cmdClearBrokenDnl},
                               {"lstBroken", "QTreeWidget", dialog.lstBroken},
                           });
    EXPECT_EQ(dialog.Label1->text(), QStringLiteral("what do You want to do?"));
    EXPECT_EQ(dialog.cmdLoad->text(), QStringLiteral("load"));
    EXPECT_EQ(dialog.cmdLoad->toolTip(),
              QStringLiteral("the broken downloads will be loaded into then downloadlist to be "
                             "able to resume loading"));
    EXPECT_EQ(dialog.cmdNormalStartup->text(), QStringLiteral("don't load"));
    EXPECT_EQ(dialog.cmdNormalStartup->toolTip(),
              QStringLiteral("the broken download will not be loaded"));
    EXPECT_EQ(dialog.cmdClearBrokenDnl->text(), QStringLiteral("clear broken dnls"));
    EXPECT_EQ(dialog.cmdClearBrokenDnl->toolTip(),
              QStringLiteral("clear broken download. BEWARE: there might be other downloads "
                             "currently running from another instance of QUARVEL!"));
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
}

TEST_F(BrokenQuestionTest, EachButtonGivesItsAnswerAndEndsTheQuestion)
{
    const std::vector<std::pair<const char *, QString>> buttons = {
        {"cmdLoad", QStringLiteral("load")},
        {"cmdNormalStartup", QStringLiteral("normal")},
        {"cmdClearBrokenDnl", QStringLiteral("clear")},
    };
    for (const auto &[name, answer] : buttons) {
        SCOPED_TRACE(name);
        frmLoadDeleteBroken question;
        EXPECT_TRUE(question.Answer().isEmpty());
        question.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&question));
        QTest::mouseClick(question.findChild<QPushButton *>(name), Qt::LeftButton);
        EXPECT_EQ(question.Answer(), answer);
        EXPECT_EQ(question.result(), QDialog::Accepted);
        EXPECT_FALSE(question.isVisible());
    }
}

TEST_F(BrokenQuestionTest, EscapeEnterAndClosingLeaveItOpenAndUnanswered)
{
    Show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());
    QTest::keyClick(&dialog, Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.close());
    EXPECT_TRUE(dialog.isVisible());
    dialog.reject();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.Answer().isEmpty());

    // Still answerable afterwards.
    dialog.cmdNormalStartup->click();
    EXPECT_EQ(dialog.Answer(), QStringLiteral("normal"));
    EXPECT_FALSE(dialog.isVisible());
}

// The language fragments: every line well formed, German and English with the
// same entries, and the English texts the same as the windows' built-in ones.
struct LangLine {
    QString section, key, kind, text;
};

std::vector<LangLine> ReadFragment(const QString &name)
{
    const QDir lang(QFileInfo(QStringLiteral(__FILE__)).absolutePath() +
                    QStringLiteral("/../shell/lang"));
    QFile file(lang.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(file.fileName());
    const QByteArray bytes = file.readAll();
    EXPECT_FALSE(bytes.contains('\r')) << qPrintable(name);
    EXPECT_TRUE(bytes.endsWith('\n')) << qPrintable(name);
    std::vector<LangLine> lines;
    for (const QString &line : QString::fromUtf8(bytes).split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(QStringLiteral("<qvrl>"));
        EXPECT_EQ(fields.size(), 4) << qPrintable(line);
        if (fields.size() == 4) lines.push_back({fields[0], fields[1], fields[2], fields[3]});
    }
    return lines;
}

// The control whose name, upper-cased, is the key; the window for its own key.
QObject *ControlForKey(QWidget &window, const QString &key)
{
    if (window.objectName().toUpper() == key) return &window;
    for (QObject *child : window.findChildren<QObject *>())
        if (child->objectName().toUpper() == key) return child;
    return nullptr;
}

QString BuiltInText(QObject *control, const QString &kind)
{
    auto *widget = qobject_cast<QWidget *>(control);
    if (!widget) return QStringLiteral("<not a widget>");
    if (kind == QStringLiteral("TOOLTIP")) return widget->toolTip();
    if (widget->isWindow()) return widget->windowTitle();
    if (auto *button = qobject_cast<QAbstractButton *>(widget)) return button->text();
    if (auto *label = qobject_cast<QLabel *>(widget)) return label->text();
    if (auto *frame = qobject_cast<QGroupBox *>(widget)) return frame->title();
    return QStringLiteral("<no caption>");
}

void ExpectFragmentMatches(QWidget &window, const QString &section, int expectedLines,
                           const std::function<QString(const QString &)> &columnCaption)
{
    const QString base = section.toLower();
    const std::vector<LangLine> english = ReadFragment(base + QStringLiteral(".en.txt"));
    const std::vector<LangLine> german = ReadFragment(base + QStringLiteral(".de.txt"));
    ASSERT_EQ(int(english.size()), expectedLines);
    ASSERT_EQ(german.size(), english.size());
    for (size_t i = 0; i < english.size(); ++i) {
        const LangLine &line = english[i];
        SCOPED_TRACE(qPrintable(line.key + u' ' + line.kind));
        EXPECT_EQ(line.section, section);
        EXPECT_EQ(german[i].section, section);
        EXPECT_EQ(german[i].key, line.key);
        EXPECT_EQ(german[i].kind, line.kind);
        if (line.kind == QStringLiteral("TEXT")) {
            EXPECT_EQ(line.text, columnCaption(line.key));
            continue;
        }
        QObject *control = ControlForKey(window, line.key);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(line.text, BuiltInText(control, line.kind));
    }
}

TEST_F(DownloadWindowTest, LanguageFragmentAgreesWithTheWindow)
{
    // "LISTVIEW1ITEM3" is the caption of the download list's third column.
    auto columnCaption = [&](const QString &key) {
        const int column = key.mid(13).toInt() - 1;
        if (key.startsWith(QStringLiteral("LISTVIEW1ITEM")) && column < 10)
            return downloads.caption(column);
        if (key.startsWith(QStringLiteral("LISTVIEW2ITEM")) && column < 8)
            return urls.caption(column);
        return QStringLiteral("<unknown column key>");
    };
    // Window title and 19 captions, 19 tooltips, 10 + 8 column headers.
    ExpectFragmentMatches(window, QStringLiteral("FRMDOWNLOADDATA"), 1 + 19 + 19 + 10 + 8,
                          columnCaption);
}

TEST_F(BrokenQuestionTest, LanguageFragmentAgreesWithTheDialog)
{
    // Title and four captions, four tooltips, the three headers of the list.
    ExpectFragmentMatches(dialog, QStringLiteral("FRMLOADDELETEBROKEN"), 1 + 4 + 4 + 3,
                          [this](const QString &key) {
                              const int column = key.mid(13).toInt() - 1;
                              return key.startsWith(QStringLiteral("LSTBROKENITEM"))
                                         ? dialog.lstBroken->headerItem()->text(column)
                                         : QStringLiteral("<unknown column key>");
                          });
}

} // namespace
