#pragma once

#include <QString>
#include <optional>

class QObject;

// Every question the program puts to the user: message boxes, the input box
// and the file and folder dialogs. Logic asks through this interface only;
// the windows layer answers with real dialogs, tests with scripted answers.
class Questions
{
public:
    enum class Icon { None, Information, Warning, Critical, Question };
    enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
    enum class Answer { Ok, Cancel, Yes, No };

    virtual ~Questions() = default;

    // A message box; returns the button pressed (closing the box counts as
    // Cancel, or No where there is no Cancel, or Ok for a plain message).
    virtual Answer Message(const QString &text, Buttons buttons = Buttons::Ok,
                           Icon icon = Icon::None, const QString &title = QString()) = 0;
    // The input box; no value when the user cancelled.
    virtual std::optional<QString> Input(const QString &prompt, const QString &title,
                                         const QString &defaultText) = 0;
    // File dialogs: the chosen path, empty when cancelled. filter is a Qt name
    // filter ("List files (*.gfl)").
    virtual QString OpenFileName(const QString &title, const QString &folder,
                                 const QString &filter) = 0;
    virtual QString SaveFileName(const QString &title, const QString &folder,
                                 const QString &filter) = 0;
    // The folder dialog: the chosen folder, empty when cancelled.
    virtual QString FolderName(const QString &title, const QString &folder) = 0;

    // The same questions asked over window, so that their dialogs stay above
    // it (an always-on-top window would otherwise cover them). The result
    // lives as long as this object. Answerers without windows return
    // themselves.
    virtual Questions &Above(QObject * /*window*/) { return *this; }
};

// Questions that are never shown: a message answers OK, every input and file
// question counts as cancelled. For reading files where no one may be asked.
class SilentQuestions : public Questions
{
public:
    Answer Message(const QString &, Buttons, Icon, const QString &) override { return Answer::Ok; }
    std::optional<QString> Input(const QString &, const QString &, const QString &) override
    {
        return std::nullopt;
    }
    QString OpenFileName(const QString &, const QString &, const QString &) override { return {}; }
    QString SaveFileName(const QString &, const QString &, const QString &) override { return {}; }
    QString FolderName(const QString &, const QString &) override { return {}; }
};
