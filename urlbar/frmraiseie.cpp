#include "frmraiseie.h"

#include "twips.h"

#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPen>
#include <QPixmap>
#include <QPolygon>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

namespace
{

// Address the text box offers before the first clipboard text arrives; its
// trailing number shows what the counting is for.
const char *const StartAddress = "http://www.example.com/gallery/picture01.jpg";

const char *const LanguageTip = "click to switch the language (Deutsch/English)";
const char *const CharacterTip =
    "click to mark this character: R counts up, L counts down, C/c take the carry";

// The flag shown while German is active: three horizontal stripes.
QPixmap GermanFlag(const QSize &size)
{
    QPixmap flag(size);
    QPainter painter(&flag);
    const int w = size.width();
    const int h = size.height();
    painter.fillRect(0, 0, w, h / 3, QColor(0, 0, 0));
    painter.fillRect(0, h / 3, w, h - 2 * (h / 3), QColor(221, 0, 0));
    painter.fillRect(0, h - h / 3, w, h / 3, QColor(255, 206, 0));
    return flag;
}

// The flag shown while English is active: blue field, diagonal crosses and an
// upright cross, drawn plainly enough to read at a few pixels.
QPixmap EnglishFlag(const QSize &size)
{
    QPixmap flag(size);
    const int w = size.width();
    const int h = size.height();
    flag.fill(QColor(1, 33, 105));
    QPainter painter(&flag);
    painter.setRenderHint(QPainter::Antialiasing);
    const int unit = std::max(1, h / 10);
    painter.setPen(QPen(Qt::white, 3 * unit));
    painter.drawLine(0, 0, w, h);
    painter.drawLine(0, h, w, 0);
    painter.setPen(QPen(QColor(200, 16, 46), unit));
    painter.drawLine(0, 0, w, h);
    painter.drawLine(0, h, w, 0);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(w / 2 - 2 * unit, 0, 4 * unit, h, Qt::white);
    painter.fillRect(0, h / 2 - 2 * unit, w, 4 * unit, Qt::white);
    painter.fillRect(w / 2 - unit, 0, 2 * unit, h, QColor(200, 16, 46));
    painter.fillRect(0, h / 2 - unit, w, 2 * unit, QColor(200, 16, 46));
    return flag;
}

QPushButton *Button(QWidget *parent, const char *name, const QString &caption)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

} // namespace

frmRaiseIE::frmRaiseIE(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmRaiseIE"));
    setWindowTitle(QStringLiteral("Quarvel"));
    // The controls are sized for a small 8-point face.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    resize(Twips::ToPixels(DesignWidth, logicalDpiX()),
           Twips::ToPixels(DesignHeight, logicalDpiY()));

    TextFromClipboard = new QLineEdit(QString::fromLatin1(StartAddress), this);
    TextFromClipboard->setObjectName(QStringLiteral("TextFromClipboard"));
    Place(TextFromClipboard, 600, 50, 4815, 375);

    // The character buttons are narrow: no padding, so that one character fits.
    for (int index = 0; index < ViewLength; ++index) {
        QPushButton *button = Button(this, "Command1", QString());
        button->setProperty("Index", index);
        button->setToolTip(QString::fromLatin1(CharacterTip));
        button->setStyleSheet(QStringLiteral("padding: 0px;"));
        Place(button, 600 + 240 * index, 480, 255, 375);
        Command1[index] = button;

        auto *label = new QLabel(QStringLiteral(" "), this);
        label->setObjectName(QStringLiteral("RLLabel"));
        label->setProperty("Index", index);
        label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        Place(label, 600 + 240 * index, 840, 255, 375);
        RLLabel[index] = label;
    }

    ScrollLeft = Button(this, "ScrollLeft", QStringLiteral("<"));
    Place(ScrollLeft, 120, 480, 375, 375);
    ScrollRight = Button(this, "ScrollRight", QStringLiteral(">"));
    Place(ScrollRight, 5520, 480, 375, 375);

    UseItCommand = Button(this, "UseItCommand", QStringLiteral("use it"));
    UseItCommand->setToolTip(
        QStringLiteral("make the address in the text box the working address"));
    Place(UseItCommand, 6240, 50, 1575, 375);

    ToURLListCommand = Button(this, "ToURLListCommand", QStringLiteral("copy 2 URL list"));
    ToURLListCommand->setToolTip(
        QStringLiteral("add the address in the text box to the URL list with the current options"));
    Place(ToURLListCommand, 6240, 480, 1575, 375);

    // "&&" shows a single "&" on a button, as the language file writes it too.
    RaiseLowerCommand = Button(this, "RaiseLowerCommand", QStringLiteral("r/l && copy 2 URLlist"));
    RaiseLowerCommand->setStyleSheet(QStringLiteral("padding: 0px;"));
    // The designed caption is a few pixels wider than the button at the bar's
    // face; a half point less lets it fit without changing its wording.
    QFont narrower = small;
    narrower.setPointSizeF(7.5);
    RaiseLowerCommand->setFont(narrower);
    RaiseLowerCommand->setToolTip(QStringLiteral("raise lower and copy 2 urllist"));
    Place(RaiseLowerCommand, 6240, 910, 1575, 375);

    const QSize flagSize(Twips::ToPixels(495, logicalDpiX()), Twips::ToPixels(295, logicalDpiY()));
    for (int index = 0; index < 2; ++index) {
        auto *picture = new QLabel(this);
        picture->setObjectName(QStringLiteral("Picture1"));
        picture->setProperty("Index", index);
        picture->setToolTip(QString::fromLatin1(LanguageTip));
        picture->setCursor(Qt::PointingHandCursor);
        picture->setPixmap(index == 0 ? GermanFlag(flagSize) : EnglishFlag(flagSize));
        Place(picture, 75, 75, 495, 295);
        Picture1[index] = picture;
    }
    // German is the language until the settings say otherwise.
    Picture1[1]->hide();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(ClipboardPollMs);
    Timer1->start();
}

void frmRaiseIE::Place(QWidget *control, int left, int top, int width, int height)
{
    control->setGeometry(
        Twips::ToPixels(QRect(left, top, width, height), logicalDpiX(), logicalDpiY()));
}
