#pragma once

#include "questions.h"

#include <QList>
#include <QStringList>

// Answers the program's questions without a screen: records every message,
// answers from queues set up by the test (defaults: Ok / Yes, no input,
// no file, no folder).
class ScriptedQuestions : public Questions
{
public:
    Answer Message(const QString &text, Buttons buttons, Icon, const QString &) override
    {
        messages << text;
        if (!answers.isEmpty()) return answers.takeFirst();
        return buttons == Buttons::Ok || buttons == Buttons::OkCancel ? Answer::Ok : Answer::Yes;
    }
    std::optional<QString> Input(const QString &prompt, const QString &, const QString &) override
    {
        prompts << prompt;
        if (inputs.isEmpty()) return std::nullopt;
        return inputs.takeFirst();
    }
    QString OpenFileName(const QString &, const QString &, const QString &) override
    {
        return files.isEmpty() ? QString() : files.takeFirst();
    }
    QString SaveFileName(const QString &, const QString &, const QString &) override
    {
        return files.isEmpty() ? QString() : files.takeFirst();
    }
    QString FolderName(const QString &, const QString &) override
    {
        return folders.isEmpty() ? QString() : folders.takeFirst();
    }

    QStringList messages;
    QStringList prompts;
    QList<Answer> answers;
    QList<std::optional<QString>> inputs;
    QStringList files;
    QStringList folders;
};
