#include "settingsstore.h"

#include "programfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace
{

const QString TargetKey = QStringLiteral("TARGETDIRECTORY");
const QString LanguageKey = QStringLiteral("LANGUAGE");

// The options added since, in the order their lines are written after the
// two above. Each line is written only when its value differs from the
// default, so the file of a user who changed nothing keeps its two lines.
struct ExtraSetting {
    const char *key;
    QString (*get)(const ProgramSettings &);
    void (*set)(ProgramSettings &, const QString &);
};

QString flag(bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); }
bool isOn(const QString &v) { return v.trimmed() != QLatin1String("0"); }

const ExtraSetting Extras[] = {
    {"columnwidths", [](const ProgramSettings &s) { return s.ColumnWidths; },
     [](ProgramSettings &s, const QString &v) { s.ColumnWidths = v; }},
    {"keepconnections", [](const ProgramSettings &s) { return flag(s.KeepConnections); },
     [](ProgramSettings &s, const QString &v) { s.KeepConnections = isOn(v); }},
    {"modernpictures", [](const ProgramSettings &s) { return flag(s.ModernPictures); },
     [](ProgramSettings &s, const QString &v) { s.ModernPictures = isOn(v); }},
    {"skipdownloaded", [](const ProgramSettings &s) { return flag(s.SkipDownloaded); },
     [](ProgramSettings &s, const QString &v) { s.SkipDownloaded = isOn(v); }},
    {"browserlogin", [](const ProgramSettings &s) { return flag(s.BrowserLogin); },
     [](ProgramSettings &s, const QString &v) { s.BrowserLogin = isOn(v); }},
    {"perserver", [](const ProgramSettings &s) { return QString::number(s.PerServer); },
     [](ProgramSettings &s, const QString &v) { s.PerServer = qMax(0, v.trimmed().toInt()); }},
};

const ExtraSetting *findExtra(const QString &upperKey)
{
    for (const ExtraSetting &e : Extras)
        if (upperKey == QString::fromLatin1(e.key).toUpper()) return &e;
    return nullptr;
}

// A value must stay on its line.
QString oneLine(QString value)
{
    value.remove(QLatin1Char('\r'));
    value.remove(QLatin1Char('\n'));
    return value;
}

} // namespace

SettingsStore::SettingsStore(const QString &programFolder, ProgramSettings &settings)
    : m_folder(programFolder), m_settings(settings)
{
}

QString SettingsStore::Path() const
{
    return ProgramFolder::Join(m_folder, QStringLiteral("quarvel.ini"));
}

QString SettingsStore::DefaultTargetDir() const
{
    return ProgramFolder::Join(m_folder, QStringLiteral("incoming/"));
}

bool SettingsStore::ReadSettings(const std::function<void(const QString &)> &languageRead)
{
    QByteArray content;
    QFile file(Path());
    if (file.open(QIODevice::ReadOnly)) content = file.readAll();
    file.close();

    QString targetDir;
    QString language;
    bool languageApplied = false;
    const QString text = QString::fromUtf8(content);
    for (QString line : text.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
        // The key never holds a "|": the value is everything after the first
        // one, so a folder whose name holds a "|" comes back whole.
        const qsizetype bar = line.indexOf(QLatin1Char('|'));
        if (bar < 0) continue;
        const QString key = line.left(bar).toUpper();
        const QString value = line.mid(bar + 1);
        // An empty value counts as missing: it would put downloads into the
        // working folder, or name no language at all.
        if (value.isEmpty()) continue;
        if (key == TargetKey) {
            targetDir = value;
            m_settings.TargetDir = value;
        } else if (key == LanguageKey) {
            language = value;
            m_settings.Language = value;
            languageApplied = true;
            if (languageRead) languageRead(value);
        } else if (const ExtraSetting *extra = findExtra(key)) {
            extra->set(m_settings, value);
        }
    }

    bool rewrite = false;
    if (targetDir.isEmpty()) {
        m_settings.TargetDir = DefaultTargetDir();
        QDir().mkpath(m_settings.TargetDir);
        rewrite = true;
    }
    if (language.isEmpty()) {
        m_settings.Language = QStringLiteral("german");
        rewrite = true;
    }
    bool ok = true;
    if (rewrite) ok = writeFile(m_settings.TargetDir, m_settings.Language);
    if (!languageApplied && languageRead) languageRead(m_settings.Language);
    return ok;
}

bool SettingsStore::WriteSetting(const QString &key, const QString &value)
{
    const QString k = key.toUpper();
    const ExtraSetting *extra = findExtra(k);
    if (k != TargetKey && k != LanguageKey && !extra) return false;
    if (!QFileInfo::exists(Path())) m_settings.TargetDir = DefaultTargetDir();
    if (k == TargetKey)
        m_settings.TargetDir = value;
    else if (k == LanguageKey)
        m_settings.Language = value;
    else
        extra->set(m_settings, value);
    return writeFile(m_settings.TargetDir, m_settings.Language);
}

bool SettingsStore::writeFile(const QString &targetDir, const QString &language)
{
    QSaveFile file(Path());
    if (!file.open(QIODevice::WriteOnly)) return false;
    QByteArray bytes = "targetdirectory|" + oneLine(targetDir).toUtf8() + "\r\n" +
                       "language|" + oneLine(language).toUtf8() + "\r\n";
    static const ProgramSettings defaults;
    for (const ExtraSetting &e : Extras) {
        const QString value = e.get(m_settings);
        if (value != e.get(defaults))
            bytes += QByteArray(e.key) + "|" + oneLine(value).toUtf8() + "\r\n";
    }
    file.write(bytes);
    return file.commit();
}
