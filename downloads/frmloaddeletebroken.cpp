#include "frmloaddeletebroken.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
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
    layout->addWidget(Label1);
    layout->addLayout(buttons);
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
