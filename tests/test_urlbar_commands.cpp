// The URL bar's and the browser window's commands on a working address: the
// view and its scrolling, mark clicks, copying single addresses and counted
// series into the URL list, the clipboard watch, and the browser's layouts,
// edge watch, pop-up refusal and address box (with an offscreen web engine).
#include "browsercontroller.h"
#include "downloadstate.h"
#include "frmraiseie.h"
#include "frmwebbrowser.h"
#include "programstate.h"
#include "scriptedquestions.h"
#include "urlbarcontroller.h"
#include "urllistmodel.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <gtest/gtest.h>

#include <functional>

namespace
{

// The bar with its controller over fresh lists; no browser unless given.
struct Bar {
    explicit Bar(frmWebbrowser *browser = nullptr)
        : controller(window, browser, state, urls, downloads, questions, texts)
    {
        texts.SetLangText(1, QStringLiteral("Several steps?"));
        texts.SetLangText(2, QStringLiteral("Series"));
        texts.SetLangText(3, QStringLiteral("How many?"));
        controller.UrlRowOptions = [] { return QStringList({"1;1;0;0;0;", "1", "1"}); };
    }
    void UseIt(const QString &address)
    {
        window.TextFromClipboard->setText(address);
        controller.UseIt();
    }
    QString Shown() const
    {
        QString shown;
        for (const QPushButton *button : window.Command1)
            shown += button->text().isEmpty() ? QStringLiteral("_") : button->text();
        return shown;
    }
    QStringList Rows() const
    {
        QStringList rows;
        for (int row = 1; row <= urls.count(); ++row)
            rows << urls.text(row);
        return rows;
    }

    frmRaiseIE window;
    UrlBarState state;
    UrlListModel urls;
    DownloadState downloads;
    ScriptedQuestions questions;
    LanguageTexts texts;
    UrlBarController controller;
};

TEST(UrlBarCommands, LongAddressShowsItsEndAndScrollsWithinItsLength)
{
    Bar bar;
    const QString address = QStringLiteral("http://www.example.com/gallery/pic0123456.jpg");
    ASSERT_EQ(address.size(), 45);
    bar.UseIt(QStringLiteral("  ") + address + QStringLiteral(" "));
    EXPECT_EQ(bar.state.RLText, address);
    EXPECT_EQ(bar.state.RLViewStart, 26);
    EXPECT_EQ(bar.Shown(), address.mid(25));
    for (int i = 0; i < 30; ++i)
        bar.window.ScrollLeft->click();
    EXPECT_EQ(bar.state.RLViewStart, 1);
    EXPECT_EQ(bar.Shown(), address.left(20));
    for (int i = 0; i < 30; ++i)
        bar.window.ScrollRight->click();
    EXPECT_EQ(bar.state.RLViewStart, 26);
    EXPECT_EQ(bar.window.Command1[19]->text(), QStringLiteral("g"));
}

TEST(UrlBarCommands, ShortAddressFillsTheFirstButtonsOnlyAndDoesNotScroll)
{
    Bar bar;
    bar.UseIt(QStringLiteral("http://a/1.jpg"));
    EXPECT_EQ(bar.Shown(), QStringLiteral("http://a/1.jpg______"));
    bar.window.ScrollRight->click();
    bar.window.ScrollLeft->click();
    EXPECT_EQ(bar.state.RLViewStart, 1);
    // An empty button does nothing; a character button marks its character.
    bar.window.Command1[15]->click();
    EXPECT_EQ(bar.state.RLMarks, QString(14, QLatin1Char(' ')));
    bar.window.Command1[9]->click();
    EXPECT_EQ(bar.state.RLMarks, QStringLiteral("         R    "));
    EXPECT_EQ(bar.window.RLLabel[9]->text(), QStringLiteral("R"));
    bar.controller.SwapRL();
    EXPECT_EQ(bar.window.RLLabel[9]->text(), QStringLiteral("L"));
}

TEST(UrlBarCommands, CountingKeepsTheViewInsideAGrowingOrShrinkingText)
{
    Bar bar;
    bar.UseIt(QStringLiteral("http://example.com/img/p100.jpg"));
    ASSERT_EQ(bar.state.RLViewStart, 12);
    bar.window.Command1[15]->click(); // the last 0: R, then L
    bar.window.Command1[15]->click();
    bar.window.Command1[13]->click(); // the 1: left end of the run, growable
    EXPECT_EQ(bar.state.RLMarks.right(8), QStringLiteral(" cCL    "));
    bar.controller.RaiseLower(); // 100 -> 99: one character shorter
    EXPECT_EQ(bar.state.RLText, QStringLiteral("http://example.com/img/p99.jpg"));
    EXPECT_EQ(bar.state.RLViewStart, 11);
    EXPECT_EQ(bar.Shown(), QStringLiteral("mple.com/img/p99.jpg"));
    bar.controller.SwapRL();
    bar.controller.RaiseLower(); // 99 -> 100: the view stays where it was
    EXPECT_EQ(bar.state.RLText, QStringLiteral("http://example.com/img/p100.jpg"));
    EXPECT_EQ(bar.state.RLViewStart, 11);
}

TEST(UrlBarCommands, EveryFifthPressOffersASeriesAddedInOneInsertion)
{
    Bar bar;
    bar.UseIt(QStringLiteral("http://x/p08.jpg"));
    bar.window.Command1[11]->click(); // the 8: R, and the 0 joins its run
    EXPECT_EQ(bar.state.RLMarks, QStringLiteral("          CR    "));
    bar.window.ToURLListCommand->click();
    EXPECT_EQ(bar.urls.subItem(1, UrlListModel::ColDepth), QStringLiteral("1"));

    QSignalSpy inserted(&bar.urls, &QAbstractItemModel::rowsInserted);
    bar.questions.answers = {Questions::Answer::Yes};
    bar.questions.inputs = {QStringLiteral("3")};
    for (int press = 1; press <= 6; ++press)
        bar.window.RaiseLowerCommand->click();
    EXPECT_EQ(bar.questions.messages, QStringList({"Several steps?"}));
    EXPECT_EQ(bar.questions.prompts, QStringList({"How many?"}));
    EXPECT_EQ(bar.Rows(),
              QStringList({"http://x/p08.jpg", "http://x/p09.jpg", "http://x/p10.jpg",
                           "http://x/p11.jpg", "http://x/p12.jpg", "http://x/p13.jpg",
                           "http://x/p14.jpg", "http://x/p15.jpg", "http://x/p16.jpg"}));
    EXPECT_EQ(inserted.count(), 6); // the three rows of the series came in one
    EXPECT_EQ(bar.urls.subItem(9, UrlListModel::ColFileTypes), QStringLiteral("1;1;0;0;0;"));
    EXPECT_EQ(bar.Shown(), QStringLiteral("http://x/p16.jpg____"));

    // Answering No on the tenth press adds one row; the lists were free again.
    bar.questions.answers = {Questions::Answer::No};
    for (int press = 1; press <= 5; ++press)
        bar.window.RaiseLowerCommand->click();
    EXPECT_EQ(bar.urls.count(), 14);
    EXPECT_FALSE(bar.downloads.ListBusy);
}

TEST(UrlBarCommands, CopyingWaitsForTheListsAndReleasesThem)
{
    Bar bar;
    bar.downloads.ListBusy = true;
    QTimer::singleShot(50, [&bar] {
        EXPECT_EQ(bar.urls.count(), 0); // nothing went in while the list was busy
        bar.downloads.ListBusy = false;
    });
    bar.window.ToURLListCommand->click();
    EXPECT_EQ(bar.Rows(), QStringList({bar.window.TextFromClipboard->text()}));
    EXPECT_FALSE(bar.downloads.ListBusy);
}

TEST(UrlBarCommands, ClipboardTextTriggersOnceAndSeveralLinesAreOnlyOffered)
{
    Bar bar;
    bool toList = true;
    int offered = 0;
    bar.controller.Clipboard2URLList = [&toList] { return toList; };
    bar.controller.OfferClipboardCapture = [&offered] { ++offered; };
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->setText(QStringLiteral(" http://c/1.jpg\n"));
    bar.controller.Timer1_Timer();
    EXPECT_EQ(bar.window.TextFromClipboard->text(), QStringLiteral("http://c/1.jpg"));
    clipboard->setText(QStringLiteral("http://c/1.jpg"));
    bar.controller.Timer1_Timer();
    EXPECT_EQ(bar.Rows(), QStringList({"http://c/1.jpg"}));

    clipboard->setText(QStringLiteral("http://c/2.jpg\r\nhttp://c/3.jpg\n"));
    bar.controller.Timer1_Timer();
    EXPECT_EQ(offered, 1);
    EXPECT_EQ(bar.window.TextFromClipboard->text(), QStringLiteral("http://c/1.jpg"));
    EXPECT_EQ(bar.urls.count(), 1);
}

// ---- Browser window -------------------------------------------------------

struct Browser {
    Browser() : bar(&window), controller(window, bar.window, bar.controller, bar.state) {}
    frmWebbrowser window;
    Bar bar;
    BrowserController controller;
};

TEST(BrowserCommands, EdgeWatchDocksAtTheOutermostColumnsOnly)
{
    Browser b;
    QPoint cursor(512, 300);
    b.controller.CursorPixels = [&cursor] { return cursor; };
    // A 1024 x 738 pixel work area at 15 twips per pixel.
    const QRect area(0, 0, 1024 * 15, 738 * 15);
    b.controller.WorkArea = [area] { return area; };
    b.bar.window.move(0, 0);

    b.controller.ToggleBrowser();
    EXPECT_TRUE(b.controller.BrowserFull);
    EXPECT_TRUE(b.window.Timer1->isActive());
    EXPECT_EQ(b.window.Timer1->interval(), 200);
    EXPECT_EQ(b.window.WebBrowser1->toolTip(), QString::fromLatin1(frmWebbrowser::FullBrowserTip));
    if (b.window.logicalDpiX() == 96) {
        EXPECT_EQ(b.window.geometry(), QRect(0, 0, 1024, 738));
    }
    for (int column : {512, 1, 1022}) {
        cursor.setX(column);
        b.controller.Timer1_Timer();
        EXPECT_TRUE(b.controller.BrowserFull) << column;
    }
    cursor.setX(1023);
    b.controller.Timer1_Timer();
    EXPECT_FALSE(b.controller.BrowserFull);
    EXPECT_FALSE(b.window.Timer1->isActive());
    EXPECT_EQ(b.window.Timer1->interval(), 0);
    EXPECT_EQ(b.window.WebBrowser1->toolTip(),
              QString::fromLatin1(frmWebbrowser::DockedBrowserTip));
    if (b.window.logicalDpiX() == 96) {
        // Docked right of the bar, over the work area's full height.
        const int barWidth = b.bar.window.width();
        EXPECT_EQ(b.window.geometry(), QRect(barWidth, 0, 1024 - barWidth, 738));
    }

    // Column 0 docks as well; a click on the label goes full again.
    b.controller.ToggleBrowser();
    cursor.setX(0);
    b.controller.Timer1_Timer();
    EXPECT_FALSE(b.controller.BrowserFull);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(b.window.Label1, &press);
    EXPECT_TRUE(b.controller.BrowserFull);
}

bool WaitFor(const std::function<bool()> &done, int ms = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms)
        QTest::qWait(20);
    return done();
}

void WritePage(const QDir &dir, const QString &name, const QString &body)
{
    QFile file(dir.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("<html><head><title>%1</title></head><body>%2</body></html>")
                   .arg(name, body)
                   .toUtf8());
}

TEST(BrowserCommands, CountedSeriesAndClickedLinksMoveTheAddressBoxAndPopupsAreRefused)
{
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QDir dir(temp.path());
    WritePage(dir, QStringLiteral("page1.html"), QStringLiteral("one"));
    WritePage(dir, QStringLiteral("page2.html"),
              QStringLiteral("<a id='l' href='page3.html'>3</a>"));
    WritePage(dir, QStringLiteral("page3.html"),
              QStringLiteral("<script>window.open('page1.html')</script>three"));
    const QString base = QUrl::fromLocalFile(dir.path()).toString() + QLatin1Char('/');

    Browser b;
    b.window.show();
    QSignalSpy refused(&b.controller, &BrowserController::WindowRefused);
    b.bar.UseIt(base + QStringLiteral("page1.html"));
    EXPECT_TRUE(b.window.cmdBack->isEnabled());
    ASSERT_TRUE(WaitFor([&b, &base] { return b.window.windowTitle() == base + "page1.html"; }));

    // One counting step opens the next address; nothing goes to the URL list.
    const int one = int(b.bar.state.RLText.size()) - 5; // the "1" of page1
    b.bar.controller.Command1_Click(one - b.bar.state.RLViewStart);
    ASSERT_EQ(b.bar.state.RLMarks.at(one - 1), QLatin1Char('R'));
    b.controller.cmdRL_Click();
    EXPECT_EQ(b.window.windowTitle(), base + QStringLiteral("page2.html"));
    ASSERT_TRUE(WaitFor([&b, &base] { return b.window.txtURL->text() == base + "page2.html"; }));
    ASSERT_TRUE(WaitFor([&b] {
        return !b.window.WebBrowser1->title().isEmpty() &&
               b.window.WebBrowser1->title() == "page2.html";
    }));
    EXPECT_EQ(b.bar.urls.count(), 0);

    // A clicked link moves the address box; the page's pop-up opens nothing.
    const int windows = int(QApplication::topLevelWidgets().size());
    b.window.WebBrowser1->page()->runJavaScript(
        QStringLiteral("document.getElementById('l').click()"));
    ASSERT_TRUE(WaitFor([&b, &base] { return b.window.txtURL->text() == base + "page3.html"; }));
    ASSERT_TRUE(WaitFor([&b, &base] { return b.window.windowTitle() == base + "page3.html"; }));
    // The page asked for a window while it loaded; once loaded it asks again.
    b.window.WebBrowser1->page()->runJavaScript(QStringLiteral("window.open('page2.html')"));
    ASSERT_TRUE(WaitFor([&refused] { return refused.count() >= 1; }));
    QTest::qWait(200);
    EXPECT_EQ(int(QApplication::topLevelWidgets().size()), windows);
    EXPECT_EQ(b.window.WebBrowser1->url().toString(), base + QStringLiteral("page3.html"));

    // "use it" in the browser takes the page's address into the bar.
    b.controller.cmdUseIt_Click();
    EXPECT_EQ(b.bar.state.RLText, base + QStringLiteral("page3.html"));
    EXPECT_EQ(b.bar.window.TextFromClipboard->text(), base + QStringLiteral("page3.html"));
}

} // namespace
