#pragma once

#include <QString>
#include <QStringList>

// The two persistent settings: where downloads go and the interface language.
struct ProgramSettings {
    QString TargetDir; // always ends with "/" when set by the program
    QString Language;  // "german" or "english" as the program writes it
};

// The message table of the current language: LangText(0) to LangText(19),
// filled from the language file's keys "TEXT1" to "TEXT20".
class LanguageTexts
{
public:
    static constexpr int Count = 20;
    LanguageTexts() : m_texts(Count) {}
    QString LangText(int index) const
    {
        return index >= 0 && index < Count ? m_texts.at(index) : QString();
    }
    void SetLangText(int index, const QString &text)
    {
        if (index >= 0 && index < Count) m_texts[index] = text;
    }

private:
    QStringList m_texts;
};
