#pragma once

#include <QDialog>
#include <QString>

class QCloseEvent;
class QLabel;
class QPushButton;

// frmLoadDeleteBroken: the start-up question what to do with broken
// multi-part downloads of an earlier run. It ends only through one of its
// three buttons; Escape and the window's close button are refused.
class frmLoadDeleteBroken : public QDialog
{
    Q_OBJECT
public:
    explicit frmLoadDeleteBroken(QWidget *parent = nullptr);

    // "load", "clear" or "normal" once a button was pressed; empty before.
    QString Answer() const { return m_answer; }

    QLabel *Label1;
    QPushButton *cmdLoad;
    QPushButton *cmdNormalStartup;
    QPushButton *cmdClearBrokenDnl;

public slots:
    // Refused: the question must be answered with a button.
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void answer(const QString &word);

    QString m_answer;
};
