#include "wrapbutton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace
{
constexpr int Padding = 6;
}

WrapButton::WrapButton(const QString &text, int wrapWidth, QWidget *parent)
    : QPushButton(text, parent), m_wrapWidth(wrapWidth)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QSize WrapButton::sizeForWidth(int width) const
{
    if (text().isEmpty()) return QPushButton::sizeHint();
    const QRect r = fontMetrics().boundingRect(QRect(0, 0, width - 2 * Padding, 10000),
                                               Qt::TextWordWrap | Qt::AlignCenter, text());
    const int iconWidth = icon().isNull() ? 0 : iconSize().width() + Padding;
    return QSize(qMin(width, r.width() + 2 * Padding + iconWidth),
                 qMax(QPushButton::sizeHint().height(), r.height() + Padding));
}

QSize WrapButton::sizeHint() const
{
    return hint();
}

QSize WrapButton::minimumSizeHint() const
{
    return hint();
}

QSize WrapButton::hint() const
{
    // As wide as the wrap width asks; as high as the caption needs at the
    // width the button has (never wrapped narrower than the wrap width).
    const QSize asked = sizeForWidth(m_wrapWidth);
    if (width() <= m_wrapWidth || !testAttribute(Qt::WA_Resized)) return asked;
    return QSize(asked.width(), sizeForWidth(width()).height());
}

void WrapButton::resizeEvent(QResizeEvent *event)
{
    QPushButton::resizeEvent(event);
    const int height = hint().height();
    if (height != m_laidOutHeight) {
        m_laidOutHeight = height;
        updateGeometry();
    }
}

void WrapButton::paintEvent(QPaintEvent *)
{
    QStylePainter p(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    p.drawControl(QStyle::CE_PushButton, option);
    QRect area = rect().adjusted(Padding, Padding / 2, -Padding, -Padding / 2);
    if (!option.icon.isNull()) {
        const QSize size = option.iconSize;
        p.drawPixmap(area.left(), area.center().y() - size.height() / 2,
                     option.icon.pixmap(size, isEnabled() ? QIcon::Normal : QIcon::Disabled));
        area.setLeft(area.left() + size.width() + Padding);
    }
    p.drawItemText(area, Qt::AlignCenter | Qt::TextWordWrap, palette(), isEnabled(), caption,
                   QPalette::ButtonText);
}
