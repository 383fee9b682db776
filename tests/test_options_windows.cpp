// The options window and the picture viewer as loaded: every named control
// with its class, built-in texts and start state, the layout of the options
// window, the language fragments of both windows, and the viewer's drawing.
#include "dialogquestions.h"
#include "frmrlie.h"
#include "frmshowpicture.h"
#include "pictureshow.h"
#include "twips.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace
{

// --- helpers ---------------------------------------------------------------

// The language fragment lines of one window: SECTION<qvrl>KEY<qvrl>KIND<qvrl>text.
struct LangLine {
    QString key;
    QString kind;
    QString text;
};

QString LangFragmentPath(const QString &fileName)
{
    return QFileInfo(QStringLiteral(__FILE__))
        .dir()
        .filePath(QStringLiteral("../shell/lang/") + fileName);
}

QList<LangLine> ReadFragment(const QString &fileName, const QString &section)
{
    QFile file(LangFragmentPath(fileName));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(file.fileName());
    const QByteArray bytes = file.readAll();
    EXPECT_FALSE(bytes.contains('\r')) << "fragments use LF line ends";
    EXPECT_TRUE(bytes.endsWith('\n'));
    QList<LangLine> lines;
    for (const QString &line : QString::fromUtf8(bytes).split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(QStringLiteral("<qvrl>"));
        EXPECT_EQ(fields.size(), 4) << qPrintable(line);
        if (fields.size() != 4) continue;
        EXPECT_EQ(fields[0], section) << qPrintable(line);
        lines.append({fields[1], fields[2], fields[3]});
    }
    return lines;
}

// The control a language key names: the child of that name (upper-cased), or
// for "NAME(i)" the element i of the control array NAME, or the window itself.
QWidget *ControlForKey(QWidget *window, const QString &key)
{
    QString name = key;
    int index = -1;
    if (key.endsWith(u')') && key.contains(u'(')) {
        const int open = key.indexOf(u'(');
        index = key.mid(open + 1, key.size() - open - 2).toInt();
        name = key.left(open);
    }
    if (window->objectName().toUpper() == name) return window;
    for (QWidget *child : window->findChildren<QWidget *>()) {
        if (child->objectName().toUpper() != name) continue;
        if (index < 0 || child->property("Index").toInt() == index) return child;
    }
    return nullptr;
}

QString CaptionOf(QWidget *w)
{
    if (auto *b = qobject_cast<QAbstractButton *>(w)) return b->text();
    if (auto *l = qobject_cast<QLabel *>(w)) return l->text();
    if (auto *g = qobject_cast<QGroupBox *>(w)) return g->title();
    if (w->isWindow()) return w->windowTitle();
    return QStringLiteral("<no caption>");
}

using KeyKind = std::pair<QString, QString>;

QSet<KeyKind> KeysAndKinds(const QList<LangLine> &lines)
{
    QSet<KeyKind> set;
    for (const LangLine &line : lines) {
        const KeyKind entry{line.key, line.kind};
        EXPECT_FALSE(set.contains(entry))
            << "duplicate " << qPrintable(line.key) << " " << qPrintable(line.kind);
        set.insert(entry);
    }
    return set;
}

// Checks that every English line is the window's built-in text and that the
// German fragment has the same keys and kinds.
void CheckFragments(QWidget *window, const QString &stem, const QString &section)
{
    const QList<LangLine> english = ReadFragment(stem + QStringLiteral(".en.txt"), section);
    const QList<LangLine> german = ReadFragment(stem + QStringLiteral(".de.txt"), section);
    EXPECT_EQ(KeysAndKinds(english), KeysAndKinds(german));
    for (const LangLine &line : english) {
        SCOPED_TRACE(qPrintable(line.key + u' ' + line.kind));
        QWidget *control = ControlForKey(window, line.key);
        ASSERT_NE(control, nullptr);
        if (line.kind == u"CAPTION")
            EXPECT_EQ(CaptionOf(control), line.text);
        else if (line.kind == u"TOOLTIP")
            EXPECT_EQ(control->toolTip(), line.text);
        else
            ADD_FAILURE() << "unexpected kind";
    }
    for (const LangLine &line : german)
        EXPECT_FALSE(line.text.trimmed().isEmpty()) << qPrintable(line.key);
}

template <typename T> void ExpectOnlyChild(QWidget *window, const char *name, QWidget *member)
{
    SCOPED_TRACE(name);
    const QList<QWidget *> found = window->findChildren<QWidget *>(QString::fromLatin1(name));
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(found.first(), member) << "the public member is the named control";
    EXPECT_NE(qobject_cast<T *>(found.first()), nullptr) << "class";
}

} // namespace

// --- frmRLIE: controls -----------------------------------------------------

TEST(OptionsWindow, IsNamedAfterItsClassAndDoesNotShowItself)
{
    frmRLIE window;
    EXPECT_EQ(window.objectName(), QStringLiteral("frmRLIE"));
    EXPECT_STREQ(window.metaObject()->className(), "frmRLIE");
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.Expanded);
}

TEST(OptionsWindow, EveryNamedControlExistsOnceWithItsClass)
{
    frmRLIE w;
    ExpectOnlyChild<QPushButton>(&w, "Command1", w.Command1);
    ExpectOnlyChild<QPushButton>(&w, "Command2", w.Command2);
    ExpectOnlyChild<QPushButton>(&w, "Command3", w.Command3);
    ExpectOnlyChild<QPushButton>(&w, "cmdStopDnl", w.cmdStopDnl);
    ExpectOnlyChild<QPushButton>(&w, "cmdUseIt", w.cmdUseIt);
    ExpectOnlyChild<QPushButton>(&w, "cmdSwapRL", w.cmdSwapRL);
    ExpectOnlyChild<QPushButton>(&w, "cmdGetFilesFromCP", w.cmdGetFilesFromCP);
    ExpectOnlyChild<QLabel>(&w, "picWaitBar", w.picWaitBar);
    ExpectOnlyChild<QGroupBox>(&w, "frmFileTypes2Download", w.frmFileTypes2Download);
    ExpectOnlyChild<QLineEdit>(&w, "txtManualType", w.txtManualType);
    ExpectOnlyChild<QLabel>(&w, "lblSearchPattern", w.lblSearchPattern);
    ExpectOnlyChild<QLineEdit>(&w, "txtSearchPattern", w.txtSearchPattern);
    ExpectOnlyChild<QGroupBox>(&w, "frmTargetDirectory", w.frmTargetDirectory);
    ExpectOnlyChild<QLineEdit>(&w, "txtTargetDir", w.txtTargetDir);
    ExpectOnlyChild<QPushButton>(&w, "cmdTargetDir", w.cmdTargetDir);
    ExpectOnlyChild<QGroupBox>(&w, "frmNumOfSimDownloads", w.frmNumOfSimDownloads);
    ExpectOnlyChild<QLineEdit>(&w, "txtSimultaneousDownloads", w.txtSimultaneousDownloads);
    ExpectOnlyChild<QPushButton>(&w, "cmdUp", w.cmdUp);
    ExpectOnlyChild<QPushButton>(&w, "cmdDown", w.cmdDown);
    ExpectOnlyChild<QGroupBox>(&w, "frmRecIndexDepth", w.frmRecIndexDepth);
    ExpectOnlyChild<QLineEdit>(&w, "txtIndexDepth", w.txtIndexDepth);
    ExpectOnlyChild<QPushButton>(&w, "cmdUpIndex", w.cmdUpIndex);
    ExpectOnlyChild<QPushButton>(&w, "cmdDownIndex", w.cmdDownIndex);
    ExpectOnlyChild<QGroupBox>(&w, "frmMinFileSize", w.frmMinFileSize);
    ExpectOnlyChild<QLineEdit>(&w, "txtMinFileSize", w.txtMinFileSize);
    ExpectOnlyChild<QGroupBox>(&w, "frmMultiDnl", w.frmMultiDnl);
    ExpectOnlyChild<QCheckBox>(&w, "chkMultiDnl", w.chkMultiDnl);
    ExpectOnlyChild<QLineEdit>(&w, "txtMultiDnl", w.txtMultiDnl);
    ExpectOnlyChild<QLabel>(&w, "Label1", w.Label1);
    ExpectOnlyChild<QGroupBox>(&w, "frmMoreOptions", w.frmMoreOptions);
    ExpectOnlyChild<QCheckBox>(&w, "chkStayOnsite", w.chkStayOnsite);
    ExpectOnlyChild<QCheckBox>(&w, "chkJustGoDown", w.chkJustGoDown);
    ExpectOnlyChild<QCheckBox>(&w, "chkDoExtraClick", w.chkDoExtraClick);
    ExpectOnlyChild<QCheckBox>(&w, "chkViewBrowser", w.chkViewBrowser);
    ExpectOnlyChild<QCheckBox>(&w, "chkUniqueFilename", w.chkUniqueFilename);
    ExpectOnlyChild<QCheckBox>(&w, "chkClipboard2URLList", w.chkClipboard2URLList);
    ExpectOnlyChild<QPushButton>(&w, "cmdAttachOptions2URLList", w.cmdAttachOptions2URLList);
    ExpectOnlyChild<QPushButton>(&w, "cmdAttachOptions2Downloadlist",
                                 w.cmdAttachOptions2Downloadlist);
}

TEST(OptionsWindow, FileTypeBoxesFormOneArrayWithOnlyTheFirstTicked)
{
    frmRLIE w;
    const QList<QCheckBox *> found = w.findChildren<QCheckBox *>(QStringLiteral("Check1"));
    ASSERT_EQ(found.size(), 5);
    const char *captions[] = {"jpeg/jpg", "gif", "mpeg/mpg", "avi/wmv", "manual type"};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        ASSERT_NE(w.Check1[i], nullptr);
        EXPECT_TRUE(found.contains(w.Check1[i]));
        EXPECT_EQ(w.Check1[i]->objectName(), QStringLiteral("Check1"));
        EXPECT_EQ(w.Check1[i]->property("Index"), QVariant(i));
        EXPECT_EQ(w.Check1[i]->text(), QString::fromLatin1(captions[i]));
        EXPECT_EQ(w.Check1[i]->isChecked(), i == 0);
        EXPECT_TRUE(w.frmFileTypes2Download->isAncestorOf(w.Check1[i]));
    }
}

TEST(OptionsWindow, TextBoxesHoldTheirStartValues)
{
    frmRLIE w;
    EXPECT_EQ(w.txtIndexDepth->text(), QStringLiteral("1"));
    EXPECT_EQ(w.txtSimultaneousDownloads->text(), QStringLiteral("4"));
    EXPECT_EQ(w.txtSimultaneousDownloads->toolTip(),
              QStringLiteral("Maximum number of simultaneous downloads limited to 20"));
    EXPECT_EQ(w.txtMultiDnl->text(), QStringLiteral("512"));
    EXPECT_EQ(w.txtMinFileSize->text(), QStringLiteral("10"));
    EXPECT_EQ(w.txtSearchPattern->text(), QStringLiteral("*"));
    EXPECT_TRUE(w.txtManualType->text().isEmpty());
    EXPECT_FALSE(w.txtManualType->isEnabled()) << "follows Check1(4), which starts unticked";
    EXPECT_TRUE(w.txtTargetDir->text().isEmpty()) << "the settings fill it";
}

TEST(OptionsWindow, OptionBoxesStartAsDesigned)
{
    frmRLIE w;
    EXPECT_TRUE(w.chkMultiDnl->isChecked());
    EXPECT_TRUE(w.chkStayOnsite->isChecked());
    EXPECT_TRUE(w.chkJustGoDown->isChecked());
    EXPECT_TRUE(w.chkDoExtraClick->isChecked());
    EXPECT_FALSE(w.chkViewBrowser->isChecked());
    EXPECT_TRUE(w.chkUniqueFilename->isChecked());
    EXPECT_FALSE(w.chkClipboard2URLList->isChecked());
}

TEST(OptionsWindow, StopButtonWaitBarAndClipboardButtonStartHidden)
{
    frmRLIE w;
    w.show();
    EXPECT_TRUE(w.Command2->isVisible());
    EXPECT_TRUE(w.Command2->isEnabled());
    EXPECT_FALSE(w.cmdStopDnl->isVisible());
    EXPECT_FALSE(w.picWaitBar->isVisible());
    EXPECT_FALSE(w.picWaitBar->pixmap().isNull()) << "has its picture ready for when it shows";
    EXPECT_FALSE(w.cmdGetFilesFromCP->isVisible());
    EXPECT_FALSE(w.cmdGetFilesFromCP->isEnabled());
    EXPECT_FALSE(w.Command3->icon().isNull());
}

TEST(OptionsWindow, ControlsSitInTheirFrames)
{
    frmRLIE w;
    const std::vector<std::pair<QGroupBox *, std::vector<QWidget *>>> frames = {
        {w.frmFileTypes2Download, {w.txtManualType}},
        {w.frmTargetDirectory, {w.txtTargetDir, w.cmdTargetDir}},
        {w.frmNumOfSimDownloads, {w.txtSimultaneousDownloads, w.cmdUp, w.cmdDown}},
        {w.frmRecIndexDepth, {w.txtIndexDepth, w.cmdUpIndex, w.cmdDownIndex}},
        {w.frmMinFileSize, {w.txtMinFileSize}},
        {w.frmMultiDnl, {w.chkMultiDnl, w.txtMultiDnl, w.Label1}},
        {w.frmMoreOptions, {w.chkUniqueFilename}},
    };
    for (const auto &[frame, controls] : frames)
        for (QWidget *control : controls)
            EXPECT_TRUE(frame->isAncestorOf(control))
                << qPrintable(control->objectName()) << " in " << qPrintable(frame->objectName());
}

// --- frmRLIE: key filters --------------------------------------------------

TEST(OptionsWindow, SizeBoxesAcceptDigitsOnly)
{
    frmRLIE w;
    for (QLineEdit *box : {w.txtMinFileSize, w.txtMultiDnl}) {
        SCOPED_TRACE(qPrintable(box->objectName()));
        box->clear();
        QTest::keyClicks(box, QStringLiteral("1a2 -3.x"));
        EXPECT_EQ(box->text(), QStringLiteral("123"));
        QTest::keyClick(box, Qt::Key_Backspace);
        EXPECT_EQ(box->text(), QStringLiteral("12"));
    }
}

TEST(OptionsWindow, ManualTypeAcceptsLettersAndCommasOnly)
{
    frmRLIE w;
    w.txtManualType->setEnabled(true);
    QTest::keyClicks(w.txtManualType, QStringLiteral("png, .bmp3,Tif"));
    EXPECT_EQ(w.txtManualType->text(), QStringLiteral("png,bmp,Tif"));
    QTest::keyClick(w.txtManualType, Qt::Key_Backspace);
    EXPECT_EQ(w.txtManualType->text(), QStringLiteral("png,bmp,Ti"));
}

TEST(OptionsWindow, SimultaneousDownloadsAndTargetDirTakeNoTyping)
{
    frmRLIE w;
    QTest::keyClicks(w.txtSimultaneousDownloads, QStringLiteral("9"));
    EXPECT_EQ(w.txtSimultaneousDownloads->text(), QStringLiteral("4"));
    w.txtTargetDir->setText(QStringLiteral("/data/incoming/"));
    QTest::keyClicks(w.txtTargetDir, QStringLiteral("x"));
    QTest::keyClick(w.txtTargetDir, Qt::Key_Backspace);
    EXPECT_EQ(w.txtTargetDir->text(), QStringLiteral("/data/incoming/"));
    // The index depth may be typed.
    w.txtIndexDepth->selectAll();
    QTest::keyClicks(w.txtIndexDepth, QStringLiteral("3"));
    EXPECT_EQ(w.txtIndexDepth->text(), QStringLiteral("3"));
}

// --- frmRLIE: layout -------------------------------------------------------

TEST(OptionsWindow, CollapsedHeightShowsTheCommandStrip)
{
    frmRLIE w;
    const int collapsed = Twips::ToPixels(frmRLIE::CollapsedHeightTwips, w.logicalDpiY());
    EXPECT_EQ(w.height(), collapsed) << "loaded collapsed";
    w.show();
    // As during a harvest with a multi-line clipboard offered.
    w.cmdStopDnl->show();
    w.picWaitBar->show();
    w.cmdGetFilesFromCP->show();
    const std::vector<QWidget *> strip = {w.Command1,   w.Command2,         w.Command3,
                                          w.cmdUseIt,   w.cmdSwapRL,        w.cmdStopDnl,
                                          w.picWaitBar, w.cmdGetFilesFromCP};
    for (QWidget *control : strip) {
        const QRect r(control->mapTo(&w, QPoint(0, 0)), control->size());
        EXPECT_GE(r.top(), 0) << qPrintable(control->objectName());
        EXPECT_LE(r.bottom(), collapsed - 1) << qPrintable(control->objectName());
        EXPECT_LE(r.right(), w.width() - 1) << qPrintable(control->objectName());
        for (QWidget *other : strip) {
            const QRect o(other->mapTo(&w, QPoint(0, 0)), other->size());
            EXPECT_TRUE(other == control || !r.intersects(o))
                << qPrintable(control->objectName() + u' ' + other->objectName());
        }
    }
    EXPECT_LE(w.cmdStopDnl->fontMetrics().horizontalAdvance(w.cmdStopDnl->text()),
              w.cmdStopDnl->width())
        << "the stop caption is readable";
}

TEST(OptionsWindow, ExpandedHeightShowsEveryOptionAndControlsKeepTheirPlaces)
{
    frmRLIE w;
    w.show();
    // The expanded height includes the title bar; leave it 40 pixels.
    const int expanded = Twips::ToPixels(frmRLIE::ExpandedHeightTwips, w.logicalDpiY()) - 40;
    w.resize(w.width(), expanded);
    const auto place = [&w](QWidget *c) { return QRect(c->mapTo(&w, QPoint(0, 0)), c->size()); };
    const QRect moreBefore = place(w.frmMoreOptions);
    const QRect stripBefore = place(w.Command2);
    for (QWidget *child : w.findChildren<QWidget *>()) {
        if (child->objectName().isEmpty() || !child->isVisibleTo(&w)) continue;
        const QRect r = place(child);
        EXPECT_LE(r.bottom(), expanded - 1) << qPrintable(child->objectName());
        EXPECT_LE(r.right(), w.width() - 1) << qPrintable(child->objectName());
    }
    w.resize(w.width(), Twips::ToPixels(frmRLIE::CollapsedHeightTwips, w.logicalDpiY()));
    EXPECT_EQ(place(w.frmMoreOptions), moreBefore) << "collapsing hides, it does not squeeze";
    EXPECT_EQ(place(w.Command2), stripBefore);
}

TEST(OptionsWindow, LanguageFragmentsMatchTheBuiltInTexts)
{
    frmRLIE w;
    CheckFragments(&w, QStringLiteral("frmrlie"), QStringLiteral("FRMRLIE"));
    // Every key of the section, with both kinds except where the section
    // accepts only one.
    const QStringList keys = {"PICWAITBAR",
                              "COMMAND1",
                              "COMMAND2",
                              "CMDSWAPRL",
                              "CMDUSEIT",
                              "CMDSTOPDNL",
                              "CMDATTACHOPTIONS2URLLIST",
                              "CMDATTACHOPTIONS2DOWNLOADLIST",
                              "FRMFILETYPES2DOWNLOAD",
                              "CHECK1(4)",
                              "LBLSEARCHPATTERN",
                              "FRMTARGETDIRECTORY",
                              "CMDTARGETDIR",
                              "FRMMULTIDNL",
                              "TXTMULTIDNL",
                              "CHKMULTIDNL",
                              "FRMNUMOFSIMDOWNLOADS",
                              "FRMRECINDEXDEPTH",
                              "CHKSTAYONSITE",
                              "CHKJUSTGODOWN",
                              "FRMMINFILESIZE",
                              "CHKUNIQUEFILENAME",
                              "CHKDOEXTRACLICK",
                              "CHKVIEWBROWSER",
                              "CHKCLIPBOARD2URLLIST",
                              "CMDGETFILESFROMCP",
                              "CHKSKIPDOWNLOADED",
                              "CHKBROWSERLOGIN",
                              "CHKKEEPCONNECTIONS",
                              "CHKMODERNPICTURES",
                              "LBLPERSERVER"};
    const QSet<KeyKind> present =
        KeysAndKinds(ReadFragment(QStringLiteral("frmrlie.en.txt"), QStringLiteral("FRMRLIE")));
    QSet<KeyKind> expected;
    for (const QString &key : keys) {
        expected.insert({key, QStringLiteral("TOOLTIP")});
        if (key != u"PICWAITBAR" && key != u"TXTMULTIDNL" && key != u"CMDGETFILESFROMCP")
            expected.insert({key, QStringLiteral("CAPTION")});
    }
    // The window's own title.
    expected.insert({QStringLiteral("FRMRLIE"), QStringLiteral("CAPTION")});
    EXPECT_EQ(present, expected);
}

// --- frmShowPicture --------------------------------------------------------

namespace
{

QImage Filled(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// Where the viewer must have drawn a picture of the given size.
QRect ExpectedDrawing(const frmShowPicture &viewer, QSize picture)
{
    return PictureShowRect(viewer.picShowPicture->contentsRect().size(), picture, false, true);
}

} // namespace

TEST(OptionsWindow, DialogsAskedAboveItOpenOverIt)
{
    // The window stays on top of the others: a dialog without it as parent
    // would open underneath.
    frmRLIE window;
    window.show();
    DialogQuestions questions;
    Questions &over = questions.Above(&window);
    EXPECT_EQ(&questions.Above(&window), &over);
    // Every dialog, over it or not, is kept above the always-on-top window.
    QList<QWidget *> parents;
    int onTop = 0;
    auto closeNextDialog = [&parents, &onTop] {
        QTimer::singleShot(50, [&parents, &onTop] {
            QWidget *dialog = QApplication::activeModalWidget();
            parents << (dialog ? dialog->parentWidget() : nullptr);
            if (dialog && dialog->windowFlags().testFlag(Qt::WindowStaysOnTopHint)) ++onTop;
            if (auto *d = qobject_cast<QDialog *>(dialog)) d->reject();
        });
    };
    closeNextDialog();
    over.Message(QStringLiteral("text"), Questions::Buttons::YesNo);
    closeNextDialog();
    EXPECT_EQ(over.FolderName(QStringLiteral("Select destination"), QDir::tempPath()), QString());
    closeNextDialog();
    questions.Message(QStringLiteral("text"), Questions::Buttons::Ok, Questions::Icon::None,
                      QString());
    closeNextDialog();
    EXPECT_FALSE(questions.Input(QStringLiteral("steps?"), QString(), QStringLiteral("1")));
    EXPECT_EQ(parents, (QList<QWidget *>{&window, &window, nullptr, nullptr}));
    EXPECT_EQ(onTop, 4);
}

TEST(PictureViewer, HasOnePictureBoxAndItsDefaultTitle)
{
    frmShowPicture viewer;
    EXPECT_EQ(viewer.objectName(), QStringLiteral("frmShowPicture"));
    EXPECT_STREQ(viewer.metaObject()->className(), "frmShowPicture");
    EXPECT_FALSE(viewer.isVisible());
    const QList<QLabel *> boxes = viewer.findChildren<QLabel *>(QStringLiteral("picShowPicture"));
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes.first(), viewer.picShowPicture);
    CheckFragments(&viewer, QStringLiteral("frmshowpicture"), QStringLiteral("FRMSHOWPICTURE"));
}

TEST(PictureViewer, BoxFillsTheWindowLessTheInsetOnEverySide)
{
    frmShowPicture viewer;
    const int dx = Twips::ToPixels(frmShowPicture::BoxInsetTwips, viewer.logicalDpiX());
    const int dy = Twips::ToPixels(frmShowPicture::BoxInsetTwips, viewer.logicalDpiY());
    if (viewer.logicalDpiX() == 96) {
        EXPECT_EQ(dx, 8);
    }
    // Placed while hidden: the shell sizes the window and places the box.
    viewer.resize(900, 700);
    viewer.PlaceBox();
    EXPECT_EQ(viewer.picShowPicture->geometry(), QRect(dx, dy, 900 - 2 * dx, 700 - 2 * dy));
    // Shown, the box follows every new window size.
    viewer.show();
    viewer.resize(640, 300);
    EXPECT_EQ(viewer.picShowPicture->geometry(), QRect(dx, dy, 640 - 2 * dx, 300 - 2 * dy));
}

TEST(PictureViewer, ShrinksALargePictureAndCentresIt)
{
    frmShowPicture viewer;
    viewer.resize(1000, 600);
    viewer.show();
    viewer.ShowPicture(Filled(QSize(3000, 1500), Qt::red));
    const QImage drawn = viewer.picShowPicture->pixmap().toImage();
    const QRect target = ExpectedDrawing(viewer, QSize(3000, 1500));
    ASSERT_EQ(drawn.size(), viewer.picShowPicture->contentsRect().size());
    ASSERT_EQ(target.width(), drawn.width()) << "wide picture fills the width";
    ASSERT_GT(target.top(), 0);
    const int midX = target.center().x();
    EXPECT_EQ(drawn.pixelColor(midX, target.top()), QColor(Qt::red));
    EXPECT_EQ(drawn.pixelColor(midX, target.bottom()), QColor(Qt::red));
    EXPECT_EQ(drawn.pixelColor(midX, target.center().y()), QColor(Qt::red));
    EXPECT_NE(drawn.pixelColor(midX, target.top() - 1), QColor(Qt::red));
    EXPECT_NE(drawn.pixelColor(midX, target.bottom() + 1), QColor(Qt::red));
    EXPECT_NE(drawn.pixelColor(midX, 0), QColor(Qt::red));
}

TEST(PictureViewer, NeverEnlargesASmallPicture)
{
    frmShowPicture viewer;
    viewer.resize(1000, 600);
    viewer.show();
    viewer.ShowPicture(Filled(QSize(50, 40), Qt::blue));
    const QImage drawn = viewer.picShowPicture->pixmap().toImage();
    const QRect target = ExpectedDrawing(viewer, QSize(50, 40));
    ASSERT_EQ(target.size(), QSize(50, 40));
    EXPECT_EQ(drawn.pixelColor(target.topLeft()), QColor(Qt::blue));
    EXPECT_EQ(drawn.pixelColor(target.bottomRight()), QColor(Qt::blue));
    EXPECT_NE(drawn.pixelColor(target.topLeft() - QPoint(1, 1)), QColor(Qt::blue));
    EXPECT_NE(drawn.pixelColor(target.bottomRight() + QPoint(1, 1)), QColor(Qt::blue));
    // Centred: equal free space left and right, above and below (within one).
    EXPECT_LE(std::abs(target.left() - (drawn.width() - 1 - target.right())), 1);
    EXPECT_LE(std::abs(target.top() - (drawn.height() - 1 - target.bottom())), 1);
}

TEST(PictureViewer, KeepsThePictureWhileHiddenAndRedrawsItForANewBoxSize)
{
    frmShowPicture viewer;
    viewer.resize(800, 600);
    viewer.show();
    viewer.ShowPicture(Filled(QSize(2000, 1000), Qt::green));
    viewer.hide();
    viewer.show();
    ASSERT_FALSE(viewer.picShowPicture->pixmap().isNull());
    EXPECT_EQ(viewer.picShowPicture->pixmap().toImage().pixelColor(
                  ExpectedDrawing(viewer, QSize(2000, 1000)).center()),
              QColor(Qt::green));

    viewer.resize(500, 900);
    const QImage drawn = viewer.picShowPicture->pixmap().toImage();
    EXPECT_EQ(drawn.size(), viewer.picShowPicture->contentsRect().size());
    const QRect target = ExpectedDrawing(viewer, QSize(2000, 1000));
    EXPECT_EQ(drawn.pixelColor(target.center()), QColor(Qt::green));
    EXPECT_EQ(drawn.pixelColor(target.left(), target.top()), QColor(Qt::green));
    EXPECT_NE(drawn.pixelColor(target.left(), target.top() - 1), QColor(Qt::green));
}

TEST(PictureViewer, ANullPictureClearsTheBox)
{
    frmShowPicture viewer;
    viewer.resize(400, 300);
    viewer.ShowPicture(Filled(QSize(10, 10), Qt::red));
    ASSERT_FALSE(viewer.picShowPicture->pixmap().isNull());
    viewer.ShowPicture(QImage());
    EXPECT_TRUE(viewer.picShowPicture->pixmap().isNull());
}
