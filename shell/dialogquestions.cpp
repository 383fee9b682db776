#include "dialogquestions.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace
{

QString titleOr(const QString &title)
{
    return title.isEmpty() ? QStringLiteral("Quarvel") : title;
}

// The options window stays above the other windows: a question opened from
// any window is kept above it too, so that none lies hidden under it.
void KeepOnTop(QWidget &dialog)
{
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint, true);
}

QString AskFile(QWidget *parent, const QString &title, const QString &folder, const QString &filter,
                QFileDialog::AcceptMode mode, QFileDialog::FileMode files)
{
    QFileDialog dialog(parent, titleOr(title), folder, filter);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(files);
    if (files == QFileDialog::Directory) dialog.setOption(QFileDialog::ShowDirsOnly);
    KeepOnTop(dialog);
    if (dialog.exec() != QDialog::Accepted) return QString();
    return dialog.selectedFiles().value(0);
}

} // namespace

Questions::Answer DialogQuestions::Message(const QString &text, Buttons buttons, Icon icon,
                                           const QString &title)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(titleOr(title));
    box.setText(text);
    KeepOnTop(box);
    switch (icon) {
    case Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    switch (buttons) {
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case Buttons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case Buttons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok:
        return Answer::Ok;
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return buttons == Buttons::Ok      ? Answer::Ok
               : buttons == Buttons::YesNo ? Answer::No
                                           : Answer::Cancel;
    }
}

std::optional<QString> DialogQuestions::Input(const QString &prompt, const QString &title,
                                              const QString &defaultText)
{
    QInputDialog dialog(m_parent);
    dialog.setWindowTitle(titleOr(title));
    dialog.setLabelText(prompt);
    dialog.setTextValue(defaultText);
    KeepOnTop(dialog);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.textValue();
}

QString DialogQuestions::OpenFileName(const QString &title, const QString &folder,
                                      const QString &filter)
{
    return AskFile(m_parent, title, folder, filter, QFileDialog::AcceptOpen,
                   QFileDialog::ExistingFile);
}

QString DialogQuestions::SaveFileName(const QString &title, const QString &folder,
                                      const QString &filter)
{
    return AskFile(m_parent, title, folder, filter, QFileDialog::AcceptSave, QFileDialog::AnyFile);
}

QString DialogQuestions::FolderName(const QString &title, const QString &folder)
{
    return AskFile(m_parent, title, folder, QString(), QFileDialog::AcceptOpen,
                   QFileDialog::Directory);
}

Questions &DialogQuestions::Above(QObject *window)
{
    auto *widget = qobject_cast<QWidget *>(window);
    if (!widget || widget == m_parent) return *this;
    std::unique_ptr<DialogQuestions> &above = m_above[window];
    if (!above) above = std::make_unique<DialogQuestions>(widget);
    return *above;
}
