#pragma once

#include <QAbstractButton>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTreeView>
#include <QTreeWidget>
#include <QWidget>

// Which captions of a window do not fit the room their controls give them,
// measured with each control's own font: button and label texts, group box
// titles, list column headers and the window's title.
namespace CaptionFit
{

// The text a button or label shows: "&&" is one "&", a single "&" only marks
// the shortcut letter.
inline QString Shown(QString caption)
{
    caption.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    caption.remove(QLatin1Char('&'));
    return caption.replace(QLatin1Char('\x01'), QLatin1Char('&'));
}

// The width a control has for its caption: a button's contents rectangle as
// its style draws it, a label's contents.
inline int RoomFor(const QWidget *control)
{
    if (auto *button = qobject_cast<const QPushButton *>(control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        option.icon = button->icon();
        option.iconSize = button->iconSize();
        return button->style()
            ->subElementRect(QStyle::SE_PushButtonContents, &option, button)
            .width();
    }
    return control->contentsRect().width();
}

// A check box's or radio button's text sits right of its indicator.
inline int IndicatorRoom(const QAbstractButton *button)
{
    if (qobject_cast<const QPushButton *>(button)) return 0;
    return button->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, button) +
           button->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, button);
}

// "name: text (needs N px, has M px)" for every caption that is cut.
inline QStringList Cut(const QWidget &window)
{
    QStringList cut;
    auto check = [&cut](const QWidget *control, const QString &text, int need, int room) {
        if (need > room)
            cut << QStringLiteral("%1: %2 (needs %3 px, has %4 px)")
                       .arg(control->objectName(), text)
                       .arg(need)
                       .arg(room);
    };
    QList<const QWidget *> controls{&window};
    for (const QWidget *w : window.findChildren<QWidget *>())
        controls << w;
    for (const QWidget *control : controls) {
        if (!control->isVisibleTo(&window) && control != &window) continue;
        const QFontMetrics metrics(control->font());
        if (auto *button = qobject_cast<const QAbstractButton *>(control)) {
            const QString text = Shown(button->text());
            if (text.trimmed().isEmpty()) continue;
            // A button drawing its caption on several lines needs its
            // longest word's width only.
            int need = 0;
            if (control->inherits("WrapButton")) {
                for (const QString &word : text.split(QLatin1Char(' ')))
                    need = qMax(need, metrics.horizontalAdvance(word));
            } else {
                need = metrics.horizontalAdvance(text);
            }
            check(control, text, need + IndicatorRoom(button),
                  control->inherits("WrapButton") ? control->width() - 12 : RoomFor(control));
        } else if (auto *label = qobject_cast<const QLabel *>(control)) {
            const QString text = Shown(label->text());
            if (text.trimmed().isEmpty() || label->wordWrap() ||
                label->sizePolicy().horizontalPolicy() == QSizePolicy::Ignored)
                continue;
            check(control, text, metrics.horizontalAdvance(text), RoomFor(control));
        } else if (auto *box = qobject_cast<const QGroupBox *>(control)) {
            if (box->title().isEmpty()) continue;
            QStyleOptionGroupBox option;
            option.initFrom(box);
            option.text = box->title();
            option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
            const QRect label = box->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                             QStyle::SC_GroupBoxLabel, box);
            check(control, box->title(), metrics.horizontalAdvance(Shown(box->title())),
                  box->width() - 2 * qMax(0, label.left()));
        } else if (auto *view = qobject_cast<const QTreeView *>(control)) {
            const QHeaderView *header = view->header();
            const int columns = header->count();
            for (int c = 0; c < columns; ++c) {
                if (header->isSectionHidden(c)) continue;
                // Only the columns visible at the list's width count.
                if (header->sectionViewportPosition(c) + header->sectionSize(c) >
                    view->viewport()->width())
                    continue;
                const QString text = view->model()->headerData(c, Qt::Horizontal).toString();
                check(control, text, QFontMetrics(header->font()).horizontalAdvance(text) + 8,
                      header->sectionSize(c));
            }
        } else if (control == &window && !window.windowTitle().isEmpty()) {
            // The title bar draws bold and keeps about 120 px for the
            // window's icon and buttons.
            QFont bold = window.font();
            bold.setBold(true);
            check(control, window.windowTitle(),
                  QFontMetrics(bold).horizontalAdvance(window.windowTitle()) + 120, window.width());
        }
    }
    return cut;
}

} // namespace CaptionFit
