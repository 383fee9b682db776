#pragma once

#include "questions.h"

#include <QPointer>
#include <QWidget>
#include <map>
#include <memory>

// The program's questions as real dialogs: message boxes, the input box and
// the file and folder dialogs, titled "Quarvel" unless a title is given, over
// the parent window when one is given.
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
    // Dialogs parented to window (a QWidget): they open over it and stay there.
    Questions &Above(QObject *window) override;

private:
    QPointer<QWidget> m_parent;
    std::map<QObject *, std::unique_ptr<DialogQuestions>> m_above;
};
