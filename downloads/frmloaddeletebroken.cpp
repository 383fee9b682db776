#include "frmloaddeletebroken.h"

#include <QCloseEvent>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

frmLoadDeleteBroken::frmLoadDeleteBroken(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmLoadDeleteBroken"));
    setWindowTitle(QStringLiteral("Quarvel - Warning: there are broken downloads!"));
    // No close button in the title bar; closeEvent refuses the rest.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    Label1 = new QLabel(QStringLiteral("what do You want to do?"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setToolTip(QStringLiteral("downloads of an earlier run were interrupted before they "
                                      "were complete"));

    lstBroken = new QTreeWidget(this);
    lstBroken->setObjectName(QStringLiteral("lstBroken"));
    lstBroken->setColumnCount(3);
    lstBroken->setHeaderLabels(
        {QStringLiteral("file"), QStringLiteral("bytes held/total"), QStringLiteral("parts")});
    lstBroken->setRootIsDecorated(false);
    lstBroken->setSelectionMode(QAbstractItemView::NoSelection);
    lstBroken->setFocusPolicy(Qt::NoFocus);
    lstBroken->header()->setStretchLastSection(false);
    lstBroken->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    lstBroken->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    lstBroken->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    lstBroken->setMinimumWidth(64 * fontMetrics().averageCharWidth());

    auto makeButton = [this](const char *name, const QString &caption, const QString &toolTip,
                             const QString &word) {
        auto *button = new QPushButton(caption, this);
        button->setObjectName(QLatin1String(name));
        button->setToolTip(toolTip);
        // No button answers on Enter by itself: the choice must be deliberate.
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, word] { answer(word); });
        return button;
    };
    cmdLoad = makeButton("cmdLoad", QStringLiteral("load"),
                         QStringLiteral("the broken downloads will be loaded into then "
                                        "downloadlist to be able to resume loading"),
                         QStringLiteral("load"));
    cmdNormalStartup = makeButton("cmdNormalStartup", QStringLiteral("don't load"),
                                  QStringLiteral("the broken download will not be loaded"),
                                  QStringLiteral("normal"));
    cmdClearBrokenDnl = makeButton(
        "cmdClearBrokenDnl", QStringLiteral("clear broken dnls"),
        QStringLiteral("clear broken download. BEWARE: there might be other downloads currently "
                       "running from another instance of QUARVEL!"),
        QStringLiteral("clear"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdLoad);
    buttons->addWidget(cmdNormalStartup);
    buttons->addWidget(cmdClearBrokenDnl);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lstBroken);
    layout->addWidget(Label1);
    layout->addLayout(buttons);
    fitTitle();
}

void frmLoadDeleteBroken::ShowBroken(const QList<BrokenDownloads::BrokenDownload> &broken)
{
    lstBroken->clear();
    for (const BrokenDownloads::BrokenDownload &b : broken) {
        auto *item = new QTreeWidgetItem(
            lstBroken, {b.FileName, QStringLiteral("%1/%2").arg(b.BytesHeld).arg(b.Length),
                        QString::number(b.Parts)});
        item->setToolTip(0, b.FileName);
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    }
    // As high as its rows, up to ten of them; more scroll.
    const int rows = qBound(1, lstBroken->topLevelItemCount(), 10);
    const int rowHeight =
        lstBroken->topLevelItemCount() > 0 ? lstBroken->sizeHintForRow(0) : fontMetrics().height();
    lstBroken->setFixedHeight(lstBroken->header()->sizeHint().height() + rows * rowHeight +
                              2 * lstBroken->frameWidth());
    adjustSize();
}

void frmLoadDeleteBroken::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::WindowTitleChange || event->type() == QEvent::FontChange)
        fitTitle();
    QDialog::changeEvent(event);
}

void frmLoadDeleteBroken::fitTitle()
{
    // The title is the warning itself: the window is at least wide enough to
    // show it whole, with room for the title bar's icon and buttons.
    // Title bars often draw their text bold.
    QFont bold = font();
    bold.setBold(true);
    const int titleBarExtras = 10 * fontMetrics().height();
    setMinimumWidth(QFontMetrics(bold).horizontalAdvance(windowTitle()) + titleBarExtras);
}

void frmLoadDeleteBroken::reject() {}

void frmLoadDeleteBroken::closeEvent(QCloseEvent *event)
{
    event->ignore();
}

void frmLoadDeleteBroken::answer(const QString &word)
{
    m_answer = word;
    accept();
}
