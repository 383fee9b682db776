#include "frmshowpicture.h"

#include "pictureshow.h"
#include "twips.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QResizeEvent>

frmShowPicture::frmShowPicture(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmShowPicture"));
    setWindowTitle(QStringLiteral("picture viewer"));

    picShowPicture = new QLabel(this);
    picShowPicture->setObjectName(QStringLiteral("picShowPicture"));
    picShowPicture->setFrameShape(QFrame::Panel);
    picShowPicture->setFrameShadow(QFrame::Sunken);
    // The drawing fills the box from its top-left corner; the picture's
    // position inside it is part of the drawing.
    picShowPicture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picShowPicture->setAutoFillBackground(true);
    PlaceBox();
}

void frmShowPicture::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    PlaceBox();
}

void frmShowPicture::PlaceBox()
{
    const int insetX = Twips::ToPixels(BoxInsetTwips, logicalDpiX());
    const int insetY = Twips::ToPixels(BoxInsetTwips, logicalDpiY());
    const QRect box(insetX, insetY, qMax(0, width() - 2 * insetX), qMax(0, height() - 2 * insetY));
    if (box == picShowPicture->geometry()) return;
    picShowPicture->setGeometry(box);
    DrawPicture();
}

void frmShowPicture::ShowPicture(const QImage &image)
{
    m_image = image;
    DrawPicture();
}

void frmShowPicture::DrawPicture()
{
    const QSize inner = picShowPicture->contentsRect().size();
    const QRect target = PictureShowRect(inner, m_image.size(), false, true);
    if (m_image.isNull() || target.isEmpty()) {
        picShowPicture->clear();
        return;
    }
    // The whole inner box becomes the drawing: its background with the
    // scaled picture on it.
    const qreal ratio = devicePixelRatioF();
    QPixmap drawing(inner * ratio);
    drawing.setDevicePixelRatio(ratio);
    drawing.fill(picShowPicture->palette().color(picShowPicture->backgroundRole()));
    {
        QPainter painter(&drawing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, m_image);
    }
    picShowPicture->setPixmap(drawing);
}
