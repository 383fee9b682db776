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

} // namespace

Questions::Answer DialogQuestions::Message(const QString &text, Buttons buttons, Icon icon,
                                           const QString &title)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(titleOr(title));
    box.setText(text);
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
    bool ok = false;
    const QString text = QInputDialog::getText(m_parent, titleOr(title), prompt, QLineEdit::Normal,
                                               defaultText, &ok);
    if (!ok) return std::nullopt;
    return text;
}

QString DialogQuestions::OpenFileName(const QString &title, const QString &folder,
                                      const QString &filter)
{
    return QFileDialog::getOpenFileName(m_parent, titleOr(title), folder, filter);
}

QString DialogQuestions::SaveFileName(const QString &title, const QString &folder,
                                      const QString &filter)
{
    return QFileDialog::getSaveFileName(m_parent, titleOr(title), folder, filter);
}

QString DialogQuestions::FolderName(const QString &title, const QString &folder)
{
    return QFileDialog::getExistingDirectory(m_parent, titleOr(title), folder);
}

Questions &DialogQuestions::Above(QObject *window)
{
    auto *widget = qobject_cast<QWidget *>(window);
    if (!widget || widget == m_parent) return *this;
    std::unique_ptr<DialogQuestions> &above = m_above[window];
    if (!above) above = std::make_unique<DialogQuestions>(widget);
    return *above;
}
