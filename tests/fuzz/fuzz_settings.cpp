// The settings reader and writer: any file is read without harm, and what was
// read, written back setting by setting, is read again unchanged.
#include "fuzzcheck.h"
#include "programstate.h"
#include "settingsstore.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    ProgramSettings first;
    SettingsStore store(dir.path(), first);
    {
        QFile file(store.Path());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    QStringList languages;
    store.ReadSettings([&](const QString &language) { languages << language; });
    FUZZ_CHECK(!languages.isEmpty());
    FUZZ_CHECK(!first.TargetDir.isEmpty() && !first.Language.isEmpty());
    // A value stays on its line: line breaks inside it are dropped.
    QString target = first.TargetDir;
    QString language = first.Language;
    target.remove(QLatin1Char('\r'));
    language.remove(QLatin1Char('\r'));

    FUZZ_CHECK(store.WriteSetting(QStringLiteral("targetdirectory"), first.TargetDir));
    FUZZ_CHECK(store.WriteSetting(QStringLiteral("Language"), first.Language));
    ProgramSettings second;
    SettingsStore again(dir.path(), second);
    again.ReadSettings({});
    if (!target.isEmpty()) FUZZ_CHECK(second.TargetDir == target);
    if (!language.isEmpty()) FUZZ_CHECK(second.Language == language);
    return 0;
}
