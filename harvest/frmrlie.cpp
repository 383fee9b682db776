#include "frmrlie.h"

#include "twips.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QResizeEvent>
#include <QVBoxLayout>

namespace
{

// Built-in (English) texts; the language file replaces them at startup.
constexpr auto StopCaption = "S  T  O  P     D  O  W  N  L  O  A  D";

template <typename T> T *Named(T *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QPushButton *Button(const char *name, const QString &caption, const QString &tip = QString())
{
    auto *button = Named(new QPushButton(caption), name);
    button->setToolTip(tip);
    return button;
}

QCheckBox *CheckBox(const char *name, const QString &caption, bool ticked,
                    const QString &tip = QString())
{
    auto *box = Named(new QCheckBox(caption), name);
    box->setChecked(ticked);
    box->setToolTip(tip);
    return box;
}

QLineEdit *TextBox(const char *name, const QString &text, int widthChars = 0)
{
    auto *edit = Named(new QLineEdit(text), name);
    if (widthChars > 0)
        edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QLatin1Char('0')) * widthChars +
                            16);
    return edit;
}

QGroupBox *Frame(const char *name, const QString &title, const QString &tip = QString())
{
    auto *frame = Named(new QGroupBox(title), name);
    frame->setToolTip(tip);
    return frame;
}

// The layout of a frame, kept tight so that every option fits the expanded
// window.
template <typename Layout> Layout *FrameLayout(QGroupBox *frame)
{
    auto *layout = new Layout(frame);
    layout->setContentsMargins(8, 2, 8, 4);
    layout->setSpacing(4);
    return layout;
}

// A picture drawn once at the given size on a transparent ground.
template <typename Paint> QPixmap DrawPicture(QSize size, Paint paint)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    paint(painter);
    return pixmap;
}

// Command3: a double chevron pointing down (more options below).
QPixmap ExpandPicture()
{
    return DrawPicture(QSize(16, 16), [](QPainter &p) {
        p.setPen(QPen(QColor(40, 40, 40), 2));
        p.drawPolyline(QPolygon({QPoint(3, 3), QPoint(8, 8), QPoint(13, 3)}));
        p.drawPolyline(QPolygon({QPoint(3, 8), QPoint(8, 13), QPoint(13, 8)}));
    });
}

// cmdGetFilesFromCP: a clipboard with text lines.
QPixmap ClipboardPicture()
{
    return DrawPicture(QSize(16, 16), [](QPainter &p) {
        p.setPen(QColor(60, 40, 20));
        p.setBrush(QColor(190, 140, 80));
        p.drawRect(QRectF(2.5, 2.5, 11, 13));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 4.5, 7, 9));
        p.setBrush(QColor(120, 120, 120));
        p.drawRect(QRectF(5.5, 0.5, 5, 3));
        p.setPen(QColor(30, 30, 160));
        for (int y : {7, 9, 11})
            p.drawLine(QPointF(5.5, y + 0.5), QPointF(10.5, y + 0.5));
    });
}

// picWaitBar: a striped progress bar.
QPixmap WaitBarPicture()
{
    return DrawPicture(QSize(48, 12), [](QPainter &p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 100, 200));
        p.drawRect(0, 0, 48, 12);
        p.setBrush(QColor(120, 190, 255));
        for (int x = -12; x < 48; x += 10)
            p.drawPolygon(
                QPolygon({QPoint(x, 12), QPoint(x + 5, 12), QPoint(x + 17, 0), QPoint(x + 12, 0)}));
        p.setPen(QColor(0, 50, 110));
        p.setBrush(Qt::NoBrush);
        p.drawRect(0, 0, 47, 11);
    });
}

// A number box: the text box with its up and down buttons stacked beside it.
QWidget *NumberBox(QLineEdit *text, QPushButton *up, QPushButton *down)
{
    auto *box = new QWidget;
    auto *row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    row->addWidget(text);
    auto *buttons = new QVBoxLayout;
    buttons->setSpacing(0);
    for (QPushButton *button : {up, down}) {
        button->setFixedSize(22, 13);
        button->setFocusPolicy(Qt::NoFocus);
        QFont small = button->font();
        small.setPointSizeF(small.pointSizeF() * 0.6);
        button->setFont(small);
        buttons->addWidget(button);
    }
    row->addLayout(buttons);
    row->addStretch();
    return box;
}

} // namespace

frmRLIE::frmRLIE(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmRLIE"));
    setWindowTitle(QStringLiteral("harvest options"));

    m_content = new QWidget(this);
    auto *column = new QVBoxLayout(m_content);
    column->setContentsMargins(6, 6, 6, 6);
    column->setSpacing(4);
    column->addWidget(BuildCommandStrip());
    column->addWidget(BuildOptions());
    column->addStretch();

    // Loaded collapsed: the command strip only.
    resize(sizeHint().width(), Twips::ToPixels(CollapsedHeightTwips, logicalDpiY()));
}

QSize frmRLIE::sizeHint() const
{
    return m_content->sizeHint();
}

int frmRLIE::HeightFor(bool expanded) const
{
    if (!expanded) return Twips::ToPixels(CollapsedHeightTwips, logicalDpiY());
    return qMax(Twips::ToPixels(ExpandedHeightTwips, logicalDpiY()), sizeHint().height());
}

void frmRLIE::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // Collapsing the window only hides the lower part of the content; the
    // controls keep their places.
    m_content->setGeometry(0, 0, width(), qMax(height(), m_content->sizeHint().height()));
}

QWidget *frmRLIE::BuildCommandStrip()
{
    auto *strip = new QWidget;
    auto *rows = new QVBoxLayout(strip);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(4);

    Command2 = Button("Command2", QStringLiteral("dnl"),
                      QStringLiteral("load site in local browserwindow and transfer files in "
                                     "downloadlist"));
    cmdStopDnl = Button("cmdStopDnl", QString::fromLatin1(StopCaption),
                        QStringLiteral("short click to stop loading actual site - click longer "
                                       "than 4s stops all!"));
    cmdStopDnl->setVisible(false);
    Command1 = Button("Command1", QStringLiteral("raise/ lower"),
                      QStringLiteral("Raise or lower selected url"));
    cmdUseIt = Button("cmdUseIt", QStringLiteral("useit"),
                      QStringLiteral("Use actual data in pasteboard. Note: you have to reconfigure "
                                     "the raise/lower buttons"));
    cmdSwapRL =
        Button("cmdSwapRL", QStringLiteral("swap R/L"),
               QStringLiteral("Swap R and L: you change the order of changing to the next url"));
    cmdGetFilesFromCP =
        Button("cmdGetFilesFromCP", QString(),
               QStringLiteral("get data from clipboard and put them into downloadlist!"));
    cmdGetFilesFromCP->setIcon(ClipboardPicture());
    // Only the clipboard poll offers the capture, when copied text holds
    // several lines.
    cmdGetFilesFromCP->setEnabled(false);
    cmdGetFilesFromCP->setVisible(false);

    picWaitBar = Named(new QLabel, "picWaitBar");
    picWaitBar->setPixmap(WaitBarPicture());
    picWaitBar->setFixedSize(picWaitBar->pixmap().size());
    picWaitBar->setToolTip(QStringLiteral("currently downloading files"));
    picWaitBar->setVisible(false);

    Command3 = Button("Command3", QString());
    Command3->setIcon(ExpandPicture());
    Command3->setFixedWidth(28);

    // First row: start and stop share the width (stop shows only during a
    // harvest); second row: the commands on the working address.
    for (QPushButton *wide : {Command2, cmdStopDnl})
        wide->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto *first = new QHBoxLayout;
    first->setSpacing(4);
    first->addWidget(Command2, 1);
    first->addWidget(cmdStopDnl, 3);
    first->addWidget(picWaitBar);
    first->addWidget(Command3);
    auto *second = new QHBoxLayout;
    second->setSpacing(4);
    for (QWidget *w : {Command1, cmdUseIt, cmdSwapRL, cmdGetFilesFromCP})
        second->addWidget(w);
    second->addStretch();
    rows->addLayout(first);
    rows->addLayout(second);
    return strip;
}

QWidget *frmRLIE::BuildOptions()
{
    auto *options = new QWidget;
    auto *grid = new QGridLayout(options);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(4);

    // File types and name patterns.
    frmFileTypes2Download =
        Frame("frmFileTypes2Download", QStringLiteral("filetypes2download"),
              QStringLiteral("kinds of files whose links become rows of the download list"));
    const char *typeCaptions[] = {"jpeg/jpg", "gif", "mpeg/mpg", "avi/wmv", "manual type"};
    for (int i = 0; i < int(Check1.size()); ++i) {
        Check1[i] = CheckBox("Check1", QString::fromLatin1(typeCaptions[i]), i == 0);
        Check1[i]->setProperty("Index", i);
    }
    Check1[4]->setToolTip(
        QStringLiteral("also collect the file types typed in the box beside, separated by commas"));
    txtManualType = TextBox("txtManualType", QString());
    txtManualType->setEnabled(false);
    // Extensions separated by commas: letters and commas only.
    txtManualType->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[A-Za-z,]*")), txtManualType));
    lblSearchPattern = Named(new QLabel(QStringLiteral("search pattern")), "lblSearchPattern");
    lblSearchPattern->setToolTip(
        QStringLiteral("name patterns separated by commas: * any text, % a digit, $ a non-digit, "
                       "& any character"));
    txtSearchPattern = TextBox("txtSearchPattern", QStringLiteral("*"));
    {
        auto *types = FrameLayout<QGridLayout>(frmFileTypes2Download);
        for (int i = 0; i < 4; ++i)
            types->addWidget(Check1[i], i / 2, i % 2);
        types->addWidget(Check1[4], 2, 0);
        types->addWidget(txtManualType, 2, 1);
        types->addWidget(lblSearchPattern, 3, 0);
        types->addWidget(txtSearchPattern, 3, 1);
    }
    grid->addWidget(frmFileTypes2Download, 0, 0, 1, 2);

    // Target directory; the text box takes no typing, only the browse button
    // changes it.
    frmTargetDirectory = Frame("frmTargetDirectory", QStringLiteral("target directory"),
                               QStringLiteral("Use browse button to select destination directory"));
    txtTargetDir = TextBox("txtTargetDir", QString());
    txtTargetDir->setReadOnly(true);
    cmdTargetDir = Button("cmdTargetDir", QStringLiteral("..."),
                          QStringLiteral("Browse for target directory"));
    cmdTargetDir->setFixedWidth(32);
    {
        auto *row = FrameLayout<QHBoxLayout>(frmTargetDirectory);
        row->addWidget(txtTargetDir);
        row->addWidget(cmdTargetDir);
    }
    grid->addWidget(frmTargetDirectory, 1, 0, 1, 2);

    // Numbers typed in kilobytes or as a count: digits only.
    const auto digitsOnly = [](QLineEdit *edit) {
        edit->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    };

    // Number boxes: only their buttons change the number of simultaneous
    // downloads; the index depth may also be typed.
    frmNumOfSimDownloads = Frame("frmNumOfSimDownloads", QStringLiteral("# of simult. downloads"),
                                 QStringLiteral("number of files downloaded at the same time"));
    txtSimultaneousDownloads = TextBox("txtSimultaneousDownloads", QStringLiteral("4"), 3);
    txtSimultaneousDownloads->setReadOnly(true);
    txtSimultaneousDownloads->setToolTip(
        QStringLiteral("Maximum number of simultaneous downloads limited to %1")
            .arg(MaxSimultaneousDownloads));
    lblPerServer = Named(new QLabel(QStringLiteral("per server")), "lblPerServer");
    lblPerServer->setToolTip(
        QStringLiteral("at most this many downloads from one server at a time; 0 is no limit"));
    txtPerServer = TextBox("txtPerServer", QStringLiteral("0"), 3);
    digitsOnly(txtPerServer);
    cmdUp = Button("cmdUp", QStringLiteral("▲"));
    cmdDown = Button("cmdDown", QStringLiteral("▼"));
    {
        // The limit per server sits beside the number it divides.
        auto *row = FrameLayout<QHBoxLayout>(frmNumOfSimDownloads);
        row->addWidget(NumberBox(txtSimultaneousDownloads, cmdUp, cmdDown));
        row->addWidget(lblPerServer);
        row->addWidget(txtPerServer);
    }
    grid->addWidget(frmNumOfSimDownloads, 2, 0);

    frmRecIndexDepth =
        Frame("frmRecIndexDepth", QStringLiteral("recurse index depth"),
              QStringLiteral("how many links deep pages are followed; 1 is the start page only"));
    txtIndexDepth = TextBox("txtIndexDepth", QStringLiteral("1"), 3);
    cmdUpIndex = Button("cmdUpIndex", QStringLiteral("▲"));
    cmdDownIndex = Button("cmdDownIndex", QStringLiteral("▼"));
    FrameLayout<QHBoxLayout>(frmRecIndexDepth)
        ->addWidget(NumberBox(txtIndexDepth, cmdUpIndex, cmdDownIndex));
    grid->addWidget(frmRecIndexDepth, 2, 1);

    frmMinFileSize = Frame("frmMinFileSize", QStringLiteral("minimum filesize"),
                           QStringLiteral("minimum filesize of file to download in kbytes"));
    txtMinFileSize = TextBox("txtMinFileSize", QStringLiteral("10"), 6);
    digitsOnly(txtMinFileSize);
    {
        auto *row = FrameLayout<QHBoxLayout>(frmMinFileSize);
        row->addWidget(txtMinFileSize);
        row->addStretch();
    }
    grid->addWidget(frmMinFileSize, 3, 0);

    frmMultiDnl = Frame("frmMultiDnl", QStringLiteral("multiple downloads per file"),
                        QStringLiteral("large files are split into parts that are downloaded at "
                                       "the same time"));
    chkMultiDnl = CheckBox("chkMultiDnl", QStringLiteral("enabled"), true,
                           QStringLiteral("check this if multiple downloads should be done"));
    txtMultiDnl = TextBox("txtMultiDnl", QStringLiteral("512"), 5);
    txtMultiDnl->setToolTip(QStringLiteral("blocksize of parts in kb during download"));
    digitsOnly(txtMultiDnl);
    Label1 = Named(new QLabel(QStringLiteral("BS(kb)")), "Label1");
    Label1->setToolTip(QStringLiteral("blocksize in kilo bytes"));
    {
        auto *row = FrameLayout<QHBoxLayout>(frmMultiDnl);
        row->addWidget(chkMultiDnl);
        row->addStretch();
        row->addWidget(Label1);
        row->addWidget(txtMultiDnl);
    }
    grid->addWidget(frmMultiDnl, 3, 1);

    // Crawl options.
    frmMoreOptions = Frame("frmMoreOptions", QString());
    chkStayOnsite = CheckBox("chkStayOnsite", QStringLiteral("stay onsite"), true,
                             QStringLiteral("follow and collect only links written relative to "
                                            "the page (no absolute addresses)"));
    chkJustGoDown = CheckBox(
        "chkJustGoDown", QStringLiteral("just go down"), true,
        QStringLiteral("if you selected a recurse index depth higher than 1 - you can also go up "
                       "the search path. Standard is \"just go down\" selected - so you can't go "
                       "up."));
    chkDoExtraClick = CheckBox(
        "chkDoExtraClick",
        QStringLiteral("OK to do one extra click if site is linked to online site"), true,
        QStringLiteral("if the site you want to be downloaded has html's to the objects you want "
                       "to download so the program will go down even if recurse index depth "
                       "is 1"));
    chkViewBrowser =
        CheckBox("chkViewBrowser", QStringLiteral("view browser during download"), false,
                 QStringLiteral("load the pages in the browser window while harvesting"));
    chkUniqueFilename =
        CheckBox("chkUniqueFilename", QStringLiteral("unique filename"), true,
                 QStringLiteral("put the time the page was read in front of each file name"));
    chkClipboard2URLList =
        CheckBox("chkClipboard2URLList", QStringLiteral("copied address into URL list"), false,
                 QStringLiteral("an address copied to the clipboard is also added to the URL "
                                "list"));
    chkSkipDownloaded =
        CheckBox("chkSkipDownloaded", QStringLiteral("skip files downloaded before"), true,
                 QStringLiteral("a harvest adds no row for an address downloaded before"));
    chkBrowserLogin = CheckBox(
        "chkBrowserLogin", QStringLiteral("use the browser's login for harvests"), false,
        QStringLiteral("send the browser's cookies and user agent with the harvest's requests"));
    chkKeepConnections =
        CheckBox("chkKeepConnections", QStringLiteral("keep connections to a server"), true,
                 QStringLiteral("connections stay open for a few seconds and carry the next "
                                "files from the same server"));
    chkModernPictures =
        CheckBox("chkModernPictures", QStringLiteral("modern picture attributes"), true,
                 QStringLiteral("also take pictures from srcset, data-src and similar attributes"));
    {
        auto *boxes = FrameLayout<QGridLayout>(frmMoreOptions);
        boxes->addWidget(chkStayOnsite, 0, 0);
        boxes->addWidget(chkJustGoDown, 0, 1);
        boxes->addWidget(chkViewBrowser, 1, 0);
        boxes->addWidget(chkUniqueFilename, 1, 1);
        boxes->addWidget(chkDoExtraClick, 2, 0, 1, 2);
        boxes->addWidget(chkClipboard2URLList, 3, 0, 1, 2);
        boxes->addWidget(chkSkipDownloaded, 4, 0);
        boxes->addWidget(chkBrowserLogin, 4, 1);
        boxes->addWidget(chkKeepConnections, 5, 0);
        boxes->addWidget(chkModernPictures, 5, 1);
    }
    grid->addWidget(frmMoreOptions, 4, 0, 1, 2);

    cmdAttachOptions2URLList =
        Button("cmdAttachOptions2URLList", QStringLiteral("attach options 2 URLlist"),
               QStringLiteral("attach options beyond to URLlist(selected URLs only)"));
    cmdAttachOptions2Downloadlist =
        Button("cmdAttachOptions2Downloadlist", QStringLiteral("attach options 2 Downloadlist"),
               QStringLiteral("attach options beyond to Downloadlist(selected files only)"));
    grid->addWidget(cmdAttachOptions2URLList, 5, 0);
    grid->addWidget(cmdAttachOptions2Downloadlist, 5, 1);
    return options;
}
