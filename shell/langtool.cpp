// Builds "lang.dat" from the readable language source: notes ("#" lines)
// are dropped, line ends become CR LF and the bytes are scrambled.
//   quarvel_langtool OUTPUT SOURCE...
#include "languagefile.h"

#include <QByteArray>
#include <QFile>
#include <QSaveFile>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUTPUT SOURCE...\n", argv[0]);
        return 2;
    }
    QByteArray text;
    for (int i = 2; i < argc; ++i) {
        QFile in(QString::fromLocal8Bit(argv[i]));
        if (!in.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        QByteArray part = in.readAll();
        part.replace("\r\n", "\n");
        // Lines starting with "#" are notes for translators.
        QByteArray kept;
        for (const QByteArray &line : part.split('\n'))
            if (!line.startsWith('#')) kept += line + '\n';
        part = kept.left(kept.size() - 1);
        if (!part.isEmpty() && !part.endsWith('\n')) part += '\n';
        text += part;
    }
    text.replace("\n", "\r\n");
    LanguageFile::Scramble(text);
    QSaveFile out(QString::fromLocal8Bit(argv[1]));
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit()) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
