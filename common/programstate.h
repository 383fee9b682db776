#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// The persistent settings: where downloads go and the interface language,
// then the options added since (extra lines of the settings file, each
// written only when it differs from its default, so a file of a user who
// changed nothing keeps its two lines).
struct ProgramSettings {
    QString TargetDir; // always ends with "/" when set by the program
    QString Language;  // "german" or "english" as the program writes it

    // Widths of the download list's columns in pixels, comma separated
    // ("" = the window's own widths).
    QString ColumnWidths;
    // Keep connections to a server open and reuse them.
    bool KeepConnections = true;
    // Take pictures from srcset, data-src and the like as well.
    bool ModernPictures = true;
    // Add no row for an address downloaded before.
    bool SkipDownloaded = true;
    // Send the embedded browser's cookies and user agent with harvests.
    bool BrowserLogin = false;
    // At most this many groups per server (0 = no limit).
    int PerServer = 0;
};

// The message table of the current language: LangText(0) to LangText(19),
// filled from the language file's keys "TEXT1" to "TEXT20", and the named
// texts added since (NOFORM keys that are not "TEXTn", e.g. "HARVESTSTOPPED").
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

    // The named text of the current language; fallback (the English text)
    // when the language file has none, as an older file may not.
    QString Text(const QString &key, const QString &fallback = QString()) const
    {
        const auto it = m_named.constFind(key.toUpper());
        return it != m_named.constEnd() && !it->isEmpty() ? *it : fallback;
    }
    void SetText(const QString &key, const QString &text) { m_named.insert(key.toUpper(), text); }

private:
    QStringList m_texts;
    QHash<QString, QString> m_named;
};
