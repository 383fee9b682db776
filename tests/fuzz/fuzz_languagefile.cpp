// The language file: scrambling twice restores the bytes, and any scrambled
// file is applied (or refused) without harm, in both languages.
#include "fuzzcheck.h"
#include "languagefile.h"
#include "questions.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace
{
class NoTarget : public LanguageTarget
{
public:
    void Apply(const QString &, const QString &, Kind, const QString &) override {}
};

const QString &path()
{
    static QTemporaryDir dir;
    static const QString file = dir.filePath(QStringLiteral("lang.dat"));
    return file;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The input is the readable text; the file holds it scrambled.
    const QByteArray plain(reinterpret_cast<const char *>(data), qsizetype(size));
    QByteArray stored = plain;
    LanguageFile::Scramble(stored);
    QByteArray back = stored;
    LanguageFile::Scramble(back);
    FUZZ_CHECK(back == plain);
    {
        QFile file(path());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        file.write(stored);
    }
    for (const char *language : {"german", "english"}) {
        NoTarget target;
        LanguageTexts texts;
        SilentQuestions questions;
        LanguageFile::ChangeLanguage(path(), QString::fromLatin1(language), target, texts,
                                     questions);
    }
    // The file on disk is only read.
    QFile file(path());
    FUZZ_CHECK(file.open(QIODevice::ReadOnly));
    FUZZ_CHECK(file.readAll() == stored);
    return 0;
}
