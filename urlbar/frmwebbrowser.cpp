#include "frmwebbrowser.h"

#include "twips.h"

#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QStyle>
#include <QTimer>
#include <QWebEngineView>

#include <algorithm>

namespace
{

QPushButton *Button(QWidget *parent, const char *name, const QString &caption, const QString &tip)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(tip);
    return button;
}

// Picture buttons show only their picture; the tooltip says what they do.
QPushButton *PictureButton(QWidget *parent, const char *name, QStyle::StandardPixmap picture,
                           const QString &tip)
{
    QPushButton *button = Button(parent, name, QString(), tip);
    button->setIcon(parent->style()->standardIcon(picture, nullptr, button));
    return button;
}

} // namespace

frmWebbrowser::frmWebbrowser(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmWebbrowser"));
    setWindowTitle(QStringLiteral("Browser"));
    // The controls are sized for a small 8-point face; the caption of the
    // narrow "use it" button needs a smaller one still.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    cmdBack = PictureButton(this, "cmdBack", QStyle::SP_ArrowBack, QStringLiteral("back"));
    Place(cmdBack, 120, 60, 375, 375);
    cmdForeward =
        PictureButton(this, "cmdForeward", QStyle::SP_ArrowForward, QStringLiteral("forward"));
    Place(cmdForeward, 600, 60, 375, 375);
    cmdDownload = PictureButton(this, "cmdDownload", QStyle::SP_ArrowDown,
                                QStringLiteral("harvest this page"));
    Place(cmdDownload, 1080, 60, 375, 375);
    // Going back and forward and harvesting need a working address first.
    cmdBack->setEnabled(false);
    cmdForeward->setEnabled(false);
    cmdDownload->setEnabled(false);

    cmdUseIt = Button(this, "cmdUseIt", QStringLiteral("use it"),
                      QStringLiteral("take the address of this page into the URL bar"));
    cmdUseIt->setStyleSheet(QStringLiteral("padding: 0px;"));
    QFont smaller = small;
    smaller.setPointSize(6);
    cmdUseIt->setFont(smaller);
    Place(cmdUseIt, 1560, 60, 375, 375);
    cmdRL = Button(this, "cmdRL", QStringLiteral("RL"),
                   QStringLiteral("count the working address one step and open it"));
    cmdRL->setStyleSheet(QStringLiteral("padding: 0px;"));
    Place(cmdRL, 2040, 60, 375, 375);
    cmdChangeRL = PictureButton(this, "cmdChangeRL", QStyle::SP_BrowserReload,
                                QStringLiteral("swap R and L"));
    Place(cmdChangeRL, 2520, 60, 375, 375);

    Label2 = new QLabel(QStringLiteral("URL:"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Place(Label2, 120, 600, 495, 255);

    txtURL = new QLineEdit(this);
    txtURL->setObjectName(QStringLiteral("txtURL"));
    Place(txtURL, 600, 560, 5655, 285);

    Label1 = new QLabel(QStringLiteral("Click here to max- or minimize browser"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setToolTip(QStringLiteral("switch between the docked and the full-screen browser"));
    Label1->setCursor(Qt::PointingHandCursor);
    Place(Label1, 3000, 120, 4020, 300);

    WebBrowser1 = new QWebEngineView(this);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowser1->setToolTip(QString::fromLatin1(DockedBrowserTip));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(0);

    resize(Twips::ToPixels(DesignWidth, logicalDpiX()),
           Twips::ToPixels(DesignHeight, logicalDpiY()));
    // A window that is not shown yet gets its resize event only when shown;
    // lay out now so that the controls are in place from the start.
    Form_Resize();
}

void frmWebbrowser::Form_Resize()
{
    if (isMinimized()) return;
    const qreal dpiX = logicalDpiX();
    const qreal dpiY = logicalDpiY();
    const int innerWidth = Twips::FromPixels(width(), dpiX);
    const int innerHeight = Twips::FromPixels(height(), dpiY);
    Place(WebBrowser1, BrowserLeft, BrowserTop, std::max(0, innerWidth - BrowserWidthAllowance),
          std::max(0, innerHeight - BrowserHeightAllowance));
    const QRect url = txtURL->geometry();
    txtURL->setGeometry(url.x(), url.y(),
                        Twips::ToPixels(std::max(0, innerWidth - UrlWidthAllowance), dpiX),
                        url.height());
}

void frmWebbrowser::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmWebbrowser::Place(QWidget *control, int left, int top, int width, int height)
{
    control->setGeometry(
        Twips::ToPixels(QRect(left, top, width, height), logicalDpiX(), logicalDpiY()));
}
