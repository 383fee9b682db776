#pragma once

#include "questions.h"

class QWidget;

// The program's questions as real dialogs: message boxes, the input box and
// the file and folder dialogs, titled "Quarvel" unless a title is given.
class DialogQuestions : public Questions
{
public:
    explicit DialogQuestions(QWidget *parent = nullptr) : m_parent(parent) {}

    Answer Message(const QString &text, Buttons buttons, Icon icon, const QString &title) override;
    std::optional<QString> Input(const QString &prompt, const QString &title,
                                 const QString &defaultText) override;
    QString OpenFileName(const QString &title, const QString &folder,
                         const QString &filter) override;
    QString SaveFileName(const QString &title, const QString &folder,
                         const QString &filter) override;
    QString FolderName(const QString &title, const QString &folder) override;

private:
    QWidget *m_parent;
};
