// The URL bar and the browser window as built: every control the language
// file and the handlers address exists under its name, with its designed
// caption, tooltip and twips position, and the language fragments agree with
// the built-in texts. The windows are never shown here: showing the browser
// window starts its web engine, which these tests have no use for.
#include "captionfit.h"
#include "downloadstate.h"
#include "frmraiseie.h"
#include "frmwebbrowser.h"
#include "programstate.h"
#include "scriptedquestions.h"
#include "twips.h"
#include "urlbarcontroller.h"
#include "urlbarstate.h"
#include "urllistmodel.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QSet>
#include <QStringConverter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>
#include <QWebEngineView>
#include <gtest/gtest.h>

#include <vector>

namespace
{

// One designed control: the window's public pointer to it, its name, Qt
// class, caption, tooltip and position in twips (left, top, width, height);
// a null tooltip means "none designed".
struct Design {
    const QWidget *member;
    const char *name;
    const char *className;
    QString caption;
    QString tooltip;
    QRect twips;
};

QString Caption(const QObject *control)
{
    if (auto *button = qobject_cast<const QAbstractButton *>(control)) return button->text();
    if (auto *label = qobject_cast<const QLabel *>(control)) return label->text();
    if (auto *frame = qobject_cast<const QGroupBox *>(control)) return frame->title();
    if (auto *window = qobject_cast<const QWidget *>(control); window && window->isWindow())
        return window->windowTitle();
    return QString();
}

QRect Expected(const QWidget &window, const QRect &twips)
{
    return Twips::ToPixels(twips, window.logicalDpiX(), window.logicalDpiY());
}

// Checks a control that is not part of an array.
void ExpectSingle(const QWidget &window, const Design &design)
{
    SCOPED_TRACE(design.name);
    const auto found = window.findChildren<QWidget *>(QString::fromLatin1(design.name));
    ASSERT_EQ(found.size(), 1);
    const QWidget *control = found.first();
    EXPECT_EQ(control, design.member);
    EXPECT_TRUE(control->inherits(design.className)) << control->metaObject()->className();
    EXPECT_FALSE(control->property("Index").isValid());
    EXPECT_EQ(Caption(control), design.caption);
    if (!design.tooltip.isNull()) {
        EXPECT_EQ(control->toolTip(), design.tooltip);
    }
    if (design.twips.isValid()) {
        EXPECT_EQ(control->geometry(), Expected(window, design.twips));
    }
}

// Every element of a control array shares the name; Index runs 0..count-1
// and each index appears once, matching the public array slot.
template <typename Control, std::size_t N>
void ExpectArray(const QWidget &window, const char *name, const std::array<Control *, N> &members)
{
    SCOPED_TRACE(name);
    const auto found = window.findChildren<Control *>(QString::fromLatin1(name));
    ASSERT_EQ(found.size(), qsizetype(N));
    QSet<int> seen;
    for (const Control *control : found)
        seen.insert(control->property("Index").toInt());
    EXPECT_EQ(seen.size(), qsizetype(N));
    for (std::size_t i = 0; i < N; ++i) {
        ASSERT_NE(members[i], nullptr);
        EXPECT_EQ(members[i]->objectName(), QString::fromLatin1(name));
        EXPECT_EQ(members[i]->property("Index").toInt(), int(i));
        EXPECT_TRUE(found.contains(members[i]));
    }
}

TEST(UrlBarWindow, NamedControlsHaveTheirDesignedTextsAndPositions)
{
    frmRaiseIE bar;
    EXPECT_EQ(bar.objectName(), QStringLiteral("frmRaiseIE"));
    EXPECT_STREQ(bar.metaObject()->className(), "frmRaiseIE");
    EXPECT_FALSE(bar.isVisible());

    const std::vector<Design> designs = {
        {bar.TextFromClipboard, "TextFromClipboard", "QLineEdit", QString(), QString(),
         QRect(600, 50, 4815, 375)},
        {bar.ScrollLeft, "ScrollLeft", "QPushButton", "<", QString(), QRect(120, 480, 375, 375)},
        {bar.ScrollRight, "ScrollRight", "QPushButton", ">", QString(), QRect(5520, 480, 375, 375)},
        {bar.UseItCommand, "UseItCommand", "QPushButton", "use it", QString(),
         QRect(6240, 50, 1575, 375)},
        {bar.ToURLListCommand, "ToURLListCommand", "QPushButton", "copy 2 URL list", QString(),
         QRect(6240, 480, 1575, 375)},
        {bar.RaiseLowerCommand, "RaiseLowerCommand", "QPushButton", "r/l && copy 2 URLlist",
         "raise lower and copy 2 urllist", QRect(6240, 910, 1575, 375)},
    };
    for (const Design &design : designs)
        ExpectSingle(bar, design);

    EXPECT_FALSE(bar.TextFromClipboard->text().trimmed().isEmpty());
}

TEST(UrlBarWindow, CharacterButtonsAndMarkLabelsFormTwoRowsOfTwenty)
{
    frmRaiseIE bar;
    ExpectArray(bar, "Command1", bar.Command1);
    ExpectArray(bar, "RLLabel", bar.RLLabel);
    for (int i = 0; i < frmRaiseIE::ViewLength; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(bar.Command1[i]->geometry(), Expected(bar, QRect(600 + 240 * i, 480, 255, 375)));
        EXPECT_EQ(bar.RLLabel[i]->geometry(), Expected(bar, QRect(600 + 240 * i, 840, 255, 375)));
        // Nothing to count until "use it": empty characters, blank marks.
        EXPECT_EQ(bar.Command1[i]->text(), QString());
        EXPECT_EQ(bar.RLLabel[i]->text(), QStringLiteral(" "));
        EXPECT_FALSE(bar.Command1[i]->toolTip().isEmpty());
    }
    if (bar.logicalDpiX() == 96 && bar.logicalDpiY() == 96) {
        EXPECT_EQ(bar.Command1[0]->geometry(), QRect(40, 32, 17, 25));
        EXPECT_EQ(bar.Command1[19]->geometry(), QRect(344, 32, 17, 25));
        EXPECT_EQ(bar.RLLabel[19]->geometry(), QRect(344, 56, 17, 25));
    }
}

// The characters on the twenty buttons and the marks on the labels below.
QString ButtonTexts(const frmRaiseIE &bar)
{
    QString text;
    for (const QPushButton *b : bar.Command1)
        text += b->text().isEmpty() ? QStringLiteral("_") : b->text();
    return text;
}

TEST(UrlBarController, UseItShowsTheLastTwentyCharactersAndScrollingStopsAtBothEnds)
{
    frmRaiseIE bar;
    UrlBarState state;
    UrlListModel urls;
    DownloadState downloads;
    ScriptedQuestions questions;
    LanguageTexts texts;
    UrlBarController c(bar, nullptr, state, urls, downloads, questions, texts);
    const QString address = QStringLiteral("http://host/pics/img0001.jpg"); // 28 characters
    bar.TextFromClipboard->setText("  " + address + " ");
    bar.UseItCommand->click();
    EXPECT_EQ(state.RLText, address);
    EXPECT_EQ(state.RLLength, 28);
    EXPECT_EQ(state.RLMarks, QString(28, ' '));
    EXPECT_EQ(state.RLViewStart, 9);
    EXPECT_EQ(ButtonTexts(bar), address.mid(8));
    // Already at the right end: a click changes nothing.
    bar.ScrollRight->click();
    EXPECT_EQ(state.RLViewStart, 9);
    for (int i = 0; i < 8; ++i)
        bar.ScrollLeft->click();
    EXPECT_EQ(state.RLViewStart, 1);
    EXPECT_EQ(ButtonTexts(bar), address.left(20));
    bar.ScrollLeft->click();
    EXPECT_EQ(state.RLViewStart, 1);
    bar.ScrollRight->click();
    EXPECT_EQ(ButtonTexts(bar), address.mid(1, 20));

    // Short addresses, and one of exactly twenty characters, start at the
    // first character and do not scroll.
    for (const QString &shortOne : {QStringLiteral("http://a/b"), QString(20, 'x')}) {
        SCOPED_TRACE(shortOne.toStdString());
        bar.TextFromClipboard->setText(shortOne);
        c.UseIt();
        EXPECT_EQ(state.RLViewStart, 1);
        EXPECT_EQ(ButtonTexts(bar), (shortOne + QString(20, '_')).left(20));
        for (int i = 0; i < frmRaiseIE::ViewLength; ++i)
            EXPECT_EQ(bar.RLLabel[i]->text(), i < shortOne.size() ? " " : "") << i;
        bar.ScrollRight->click();
        bar.ScrollLeft->click();
        EXPECT_EQ(state.RLViewStart, 1);
    }
}

TEST(UrlBarWindow, LanguagePicturesShareOnePlaceAndOnlyGermanShows)
{
    frmRaiseIE bar;
    ExpectArray(bar, "Picture1", bar.Picture1);
    for (QLabel *picture : bar.Picture1) {
        EXPECT_EQ(picture->geometry(), Expected(bar, QRect(75, 75, 495, 295)));
        EXPECT_FALSE(picture->pixmap().isNull());
        EXPECT_FALSE(picture->toolTip().isEmpty());
    }
    EXPECT_FALSE(bar.Picture1[0]->isHidden());
    EXPECT_TRUE(bar.Picture1[1]->isHidden());
    EXPECT_NE(bar.Picture1[0]->pixmap().toImage(), bar.Picture1[1]->pixmap().toImage());
}

TEST(UrlBarWindow, ClipboardPollRunsEverySecondAndBarHasItsDesignedSize)
{
    frmRaiseIE bar;
    ASSERT_NE(bar.Timer1, nullptr);
    EXPECT_EQ(bar.findChild<QTimer *>("Timer1"), bar.Timer1);
    EXPECT_EQ(bar.Timer1->interval(), 1000);
    EXPECT_TRUE(bar.Timer1->isActive());
    EXPECT_EQ(bar.size(), QSize(Twips::ToPixels(8055, bar.logicalDpiX()),
                                Twips::ToPixels(1920, bar.logicalDpiY())));
}

TEST(BrowserWindow, NamedControlsHaveTheirDesignedTextsAndPositions)
{
    frmWebbrowser browser;
    EXPECT_EQ(browser.objectName(), QStringLiteral("frmWebbrowser"));
    EXPECT_STREQ(browser.metaObject()->className(), "frmWebbrowser");
    EXPECT_FALSE(browser.isVisible());

    // txtURL's width and the browser's place follow the window (tested below).
    const std::vector<Design> designs = {
        {browser.cmdBack, "cmdBack", "QPushButton", QString(), "back", QRect(120, 60, 375, 375)},
        {browser.cmdForeward, "cmdForeward", "QPushButton", QString(), "forward",
         QRect(600, 60, 375, 375)},
        {browser.cmdDownload, "cmdDownload", "QPushButton", QString(), "harvest this page",
         QRect(1080, 60, 375, 375)},
        {browser.cmdUseIt, "cmdUseIt", "QPushButton", "use it", QString(),
         QRect(1560, 60, 375, 375)},
        {browser.cmdRL, "cmdRL", "QPushButton", "RL", QString(), QRect(2040, 60, 375, 375)},
        {browser.cmdChangeRL, "cmdChangeRL", "QPushButton", QString(), "swap R and L",
         QRect(2520, 60, 375, 375)},
        {browser.Label2, "Label2", "QLabel", "URL:", QString(), QRect(120, 600, 495, 255)},
        {browser.Label1, "Label1", "QLabel", "Click here to max- or minimize browser", QString(),
         QRect(3000, 120, 4020, 300)},
        {browser.txtURL, "txtURL", "QLineEdit", QString(), QString(), QRect()},
        {browser.WebBrowser1, "WebBrowser1", "QWebEngineView", QString(),
         frmWebbrowser::DockedBrowserTip, QRect()},
    };
    for (const Design &design : designs)
        ExpectSingle(browser, design);

    EXPECT_EQ(browser.txtURL->pos(), Expected(browser, QRect(600, 560, 1, 285)).topLeft());
    EXPECT_EQ(browser.txtURL->height(), Twips::ToPixels(285, browser.logicalDpiY()));
}

TEST(BrowserWindow, PictureButtonsShowPicturesAndWaitForUseIt)
{
    frmWebbrowser browser;
    for (QPushButton *button :
         {browser.cmdBack, browser.cmdForeward, browser.cmdDownload, browser.cmdChangeRL})
        EXPECT_FALSE(button->icon().isNull()) << button->objectName().toStdString();
    EXPECT_FALSE(browser.cmdBack->isEnabled());
    EXPECT_FALSE(browser.cmdForeward->isEnabled());
    EXPECT_FALSE(browser.cmdDownload->isEnabled());
    EXPECT_TRUE(browser.cmdUseIt->isEnabled());
    EXPECT_TRUE(browser.cmdRL->isEnabled());
    EXPECT_TRUE(browser.cmdChangeRL->isEnabled());
}

TEST(BrowserWindow, EdgeWatchIsStoppedInTheDockedLayout)
{
    frmWebbrowser browser;
    ASSERT_NE(browser.Timer1, nullptr);
    EXPECT_EQ(browser.findChild<QTimer *>("Timer1"), browser.Timer1);
    EXPECT_FALSE(browser.Timer1->isActive());
    EXPECT_EQ(browser.Timer1->interval(), 0);
}

// The browser's and the address box's geometry for a client area of the
// given size in pixels, as the resize layout designs it in twips.
void ExpectLayoutFor(const frmWebbrowser &browser, QSize client)
{
    const qreal dpiX = browser.logicalDpiX();
    const qreal dpiY = browser.logicalDpiY();
    const int innerWidth = Twips::FromPixels(client.width(), dpiX);
    const int innerHeight = Twips::FromPixels(client.height(), dpiY);
    EXPECT_EQ(browser.WebBrowser1->geometry(),
              Twips::ToPixels(
                  QRect(120, 960, std::max(0, innerWidth - 240), std::max(0, innerHeight - 1080)),
                  dpiX, dpiY));
    EXPECT_EQ(browser.txtURL->width(), Twips::ToPixels(std::max(0, innerWidth - 720), dpiX));
    EXPECT_EQ(browser.txtURL->pos(), Twips::ToPixels(QRect(600, 560, 1, 1), dpiX, dpiY).topLeft());
}

void ResizeTo(frmWebbrowser &browser, QSize size)
{
    const QSize old = browser.size();
    browser.resize(size);
    // A window that is not shown gets its resize event only when shown.
    QResizeEvent event(size, old);
    QCoreApplication::sendEvent(&browser, &event);
}

TEST(BrowserWindow, ResizeLaysOutBrowserAndAddressBox)
{
    frmWebbrowser browser;
    // Laid out from the start, before any resize event.
    ExpectLayoutFor(browser, browser.size());

    for (const QSize size : {QSize(1000, 700), QSize(487, 1040), QSize(300, 90)}) {
        SCOPED_TRACE(size.width());
        ResizeTo(browser, size);
        ExpectLayoutFor(browser, size);
    }
    if (browser.logicalDpiX() == 96 && browser.logicalDpiY() == 96) {
        ResizeTo(browser, QSize(1000, 700));
        EXPECT_EQ(browser.WebBrowser1->geometry(), QRect(8, 64, 984, 628));
        EXPECT_EQ(browser.txtURL->geometry(), QRect(40, 37, 952, 19));
    }
}

TEST(BrowserWindow, TooSmallWindowLeavesEmptyBrowserNotNegative)
{
    frmWebbrowser browser;
    ResizeTo(browser, QSize(10, 10));
    EXPECT_GE(browser.WebBrowser1->width(), 0);
    EXPECT_EQ(browser.WebBrowser1->height(), 0);
    EXPECT_EQ(browser.txtURL->width(), 0);
}

// ---- Language fragments --------------------------------------------------

struct LangLine {
    QString section, key, kind, text;
};

QString FragmentPath(const QString &name)
{
    const QDir tests = QFileInfo(QString::fromUtf8(__FILE__)).absoluteDir();
    return tests.absoluteFilePath(QStringLiteral("../shell/lang/") + name);
}

std::vector<LangLine> ReadFragment(const QString &name)
{
    std::vector<LangLine> lines;
    QFile file(FragmentPath(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    const QByteArray bytes = file.readAll();
    EXPECT_FALSE(bytes.contains('\r')) << name.toStdString();
    EXPECT_TRUE(bytes.endsWith('\n')) << name.toStdString();
    auto toUtf16 = QStringDecoder(QStringDecoder::Utf8);
    const QString text = toUtf16(bytes);
    EXPECT_FALSE(toUtf16.hasError()) << name.toStdString();
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(QStringLiteral("<qvrl>"));
        EXPECT_EQ(fields.size(), 4) << line.toStdString();
        if (fields.size() == 4) lines.push_back({fields[0], fields[1], fields[2], fields[3]});
    }
    return lines;
}

// The controls a key names: the control of that name in upper case; the
// forward button keeps its designed spelling behind the key CMDFORWARD.
QList<QWidget *> ControlsForKey(const QWidget &window, const QString &key)
{
    QList<QWidget *> controls;
    for (QWidget *child : window.findChildren<QWidget *>()) {
        QString name = child->objectName().toUpper();
        if (name == QLatin1String("CMDFOREWARD")) name = QStringLiteral("CMDFORWARD");
        if (name == key) controls.append(child);
    }
    return controls;
}

QSet<QString> Entries(const std::vector<LangLine> &lines)
{
    QSet<QString> entries;
    for (const LangLine &line : lines)
        entries.insert(line.section + QLatin1Char('/') + line.key + QLatin1Char('/') + line.kind);
    return entries;
}

// English lines carry exactly the built-in texts; German lines cover the
// same entries; together they cover every key the language table lists.
void CheckFragments(const QWidget &window, const QString &base, const QStringList &tooltipKeys,
                    const QStringList &captionKeys)
{
    const QString section = window.objectName().toUpper();
    const auto english = ReadFragment(base + QStringLiteral(".en.txt"));
    const auto german = ReadFragment(base + QStringLiteral(".de.txt"));
    EXPECT_EQ(Entries(english), Entries(german));
    EXPECT_EQ(Entries(english).size(), qsizetype(english.size())) << "duplicate entries";

    QSet<QString> wanted;
    for (const QString &key : tooltipKeys)
        wanted.insert(section + QLatin1Char('/') + key + QStringLiteral("/TOOLTIP"));
    for (const QString &key : captionKeys)
        wanted.insert(section + QLatin1Char('/') + key + QStringLiteral("/CAPTION"));
    EXPECT_EQ(Entries(english), wanted);

    for (const LangLine &line : english) {
        SCOPED_TRACE((line.key + QLatin1Char(' ') + line.kind).toStdString());
        EXPECT_EQ(line.section, section);
        const QList<QWidget *> controls = ControlsForKey(window, line.key);
        ASSERT_FALSE(controls.isEmpty());
        for (const QWidget *control : controls) {
            if (line.kind == QLatin1String("CAPTION")) {
                EXPECT_EQ(Caption(control), line.text);
            } else {
                EXPECT_EQ(control->toolTip(), line.text);
            }
        }
    }
    for (const LangLine &line : german) {
        if (line.kind == QLatin1String("TOOLTIP")) {
            EXPECT_FALSE(line.text.isEmpty()) << line.key.toStdString();
        }
    }
}

TEST(LanguageFragments, UrlBarEntriesMatchTheBuiltInTexts)
{
    frmRaiseIE bar;
    CheckFragments(
        bar, QStringLiteral("frmraiseie"),
        {"PICTURE1", "COMMAND1", "USEITCOMMAND", "TOURLLISTCOMMAND", "RAISELOWERCOMMAND"},
        {"USEITCOMMAND", "TOURLLISTCOMMAND", "RAISELOWERCOMMAND"});
}

TEST(LanguageFragments, BrowserEntriesMatchTheBuiltInTexts)
{
    frmWebbrowser browser;
    const QStringList keys = {"CMDBACK", "CMDFORWARD",  "CMDDOWNLOAD", "CMDUSEIT",
                              "CMDRL",   "CMDCHANGERL", "LABEL1"};
    CheckFragments(browser, QStringLiteral("frmwebbrowser"), keys, keys);
}

// ---- Captions fit their controls ---------------------------------------

using CaptionFit::RoomFor;
using CaptionFit::Shown;

// Applies the captions of one language fragment, then measures every caption
// of the window with its control's font against the room it has.
void ExpectCaptionsFit(QWidget &window, const QString &fragment)
{
    SCOPED_TRACE(fragment.toStdString());
    for (const LangLine &line : ReadFragment(fragment)) {
        if (line.kind != QLatin1String("CAPTION")) continue;
        for (QWidget *control : ControlsForKey(window, line.key)) {
            if (auto *button = qobject_cast<QAbstractButton *>(control)) button->setText(line.text);
            if (auto *label = qobject_cast<QLabel *>(control)) label->setText(line.text);
        }
    }
    int measured = 0;
    for (const QWidget *control : window.findChildren<QWidget *>()) {
        if (!qobject_cast<const QAbstractButton *>(control) &&
            !qobject_cast<const QLabel *>(control))
            continue;
        const QString text = Shown(Caption(control));
        if (text.trimmed().isEmpty()) continue;
        ++measured;
        EXPECT_LE(QFontMetrics(control->font()).horizontalAdvance(text), RoomFor(control))
            << control->objectName().toStdString() << ": " << text.toStdString();
    }
    EXPECT_GT(measured, 0);
}

TEST(LanguageFragments, EveryCaptionFitsItsControlInBothLanguages)
{
    for (const char *language : {"de", "en"}) {
        frmRaiseIE bar;
        ExpectCaptionsFit(bar, QStringLiteral("frmraiseie.%1.txt").arg(language));
        // The character buttons hold the widest character they can show.
        bar.Command1[0]->setText(QStringLiteral("W"));
        ExpectCaptionsFit(bar, QStringLiteral("frmraiseie.%1.txt").arg(language));
        frmWebbrowser browser;
        ExpectCaptionsFit(browser, QStringLiteral("frmwebbrowser.%1.txt").arg(language));
    }
}

} // namespace
