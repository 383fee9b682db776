#pragma once

#include "brokendownloads.h"

#include <QDialog>
#include <QString>

class QCloseEvent;
class QEvent;
class QLabel;
class QPushButton;
class QTreeWidget;

// frmLoadDeleteBroken: the start-up question what to do with broken
// multi-part downloads of an earlier run. It ends only through one of its
// three buttons; Escape and the window's close button are refused. Above the
// buttons it lists the broken downloads: file name, bytes held of the whole
// length, and the number of parts.
class frmLoadDeleteBroken : public QDialog
{
    Q_OBJECT
public:
    explicit frmLoadDeleteBroken(QWidget *parent = nullptr);

    // "load", "clear" or "normal" once a button was pressed; empty before.
    QString Answer() const { return m_answer; }
    // Fills the list with the broken downloads found.
    void ShowBroken(const QList<BrokenDownloads::BrokenDownload> &broken);

    QLabel *Label1;
    // Columns: file, bytes held/total, parts. Their headers are the language
    // file's "LSTBROKENITEM1" to "LSTBROKENITEM3".
    QTreeWidget *lstBroken;
    QPushButton *cmdLoad;
    QPushButton *cmdNormalStartup;
    QPushButton *cmdClearBrokenDnl;

public slots:
    // Refused: the question must be answered with a button.
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void answer(const QString &word);
    void fitTitle();

    QString m_answer;
};
