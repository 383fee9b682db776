#include "windowlanguage.h"

#include "listmodel.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QRegularExpression>
#include <QTreeWidget>
#include <QWidget>

namespace
{

// Control names the language file spells differently.
QString objectNameFor(const QString &section, const QString &key)
{
    if (section == QLatin1String("FRMWEBBROWSER") && key == QLatin1String("CMDFORWARD"))
        return QStringLiteral("CMDFOREWARD");
    return key;
}

void setCaption(QWidget *w, const QString &text)
{
    if (auto *button = qobject_cast<QAbstractButton *>(w))
        button->setText(text);
    else if (auto *label = qobject_cast<QLabel *>(w))
        label->setText(text);
    else if (auto *group = qobject_cast<QGroupBox *>(w))
        group->setTitle(text);
    else if (w->isWindow())
        w->setWindowTitle(text);
}

} // namespace

WindowLanguage::WindowLanguage(ListModel &downloadList, ListModel &urlList)
    : m_downloadList(downloadList), m_urlList(urlList)
{
}

void WindowLanguage::AddWindow(const QString &section, QWidget *window)
{
    m_windows.insert(section, window);
}

void WindowLanguage::Apply(const QString &section, const QString &key, Kind kind,
                           const QString &text)
{
    if (kind == Kind::Text) {
        static const QRegularExpression column(QStringLiteral("^LISTVIEW([12])ITEM(\\d+)$"));
        const auto m = column.match(key);
        if (m.hasMatch()) {
            ListModel &list = m.captured(1) == QLatin1String("1") ? m_downloadList : m_urlList;
            list.setCaption(m.captured(2).toInt() - 1, text);
            return;
        }
        // "<LIST>ITEMn": the header of column n of that list in the window.
        static const QRegularExpression header(QStringLiteral("^(.+)ITEM(\\d+)$"));
        const auto h = header.match(key);
        QWidget *window = m_windows.value(section);
        if (!h.hasMatch() || !window) return;
        for (QTreeWidget *tree : window->findChildren<QTreeWidget *>()) {
            const int column = h.captured(2).toInt() - 1;
            if (tree->objectName().compare(h.captured(1), Qt::CaseInsensitive) == 0 &&
                column >= 0 && column < tree->columnCount())
                tree->headerItem()->setText(column, text);
        }
        return;
    }
    QWidget *window = m_windows.value(section);
    if (!window) return;
    if (key == section) {
        if (kind == Kind::Caption)
            window->setWindowTitle(text);
        else
            window->setToolTip(text);
        return;
    }

    QString name = objectNameFor(section, key);
    int index = -1;
    static const QRegularExpression indexed(QStringLiteral("^(.+)\\((\\d+)\\)$"));
    const auto m = indexed.match(name);
    if (m.hasMatch()) {
        name = m.captured(1);
        index = m.captured(2).toInt();
    }
    const QList<QWidget *> children = window->findChildren<QWidget *>();
    for (QWidget *w : children) {
        if (w->objectName().compare(name, Qt::CaseInsensitive) != 0) continue;
        if (index >= 0 &&
            (!w->property("Index").isValid() || w->property("Index").toInt() != index))
            continue;
        if (kind == Kind::Caption)
            setCaption(w, text);
        else
            w->setToolTip(text);
    }
}
