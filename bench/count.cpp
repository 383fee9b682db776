// count: the program's own address counting from the command line.
//   count TEXT MARKS STEPS        prints "text|marks" after each counting step
//   count --click TEXT MARKS P... applies mark clicks at the 1-based positions
//                                 and prints "|marks|" after each click
// Marks are the five characters " RLCc", blanks kept. Exit status 2 with a
// message on stderr for marks of another length or with another character.
#include "raiselower.h"

#include <QString>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

namespace
{

int Usage()
{
    std::fputs("usage: count TEXT MARKS STEPS\n"
               "       count --click TEXT MARKS P1 P2 ...\n",
               stderr);
    return 2;
}

bool ReadNumber(const char *arg, long &value)
{
    char *end = nullptr;
    value = std::strtol(arg, &end, 10);
    return *arg != '\0' && *end == '\0';
}

void Print(const QString &line)
{
    const QByteArray bytes = line.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fputc('\n', stdout);
}

} // namespace

int main(int argc, char **argv)
{
    const bool click = argc >= 2 && std::strcmp(argv[1], "--click") == 0;
    const int first = click ? 2 : 1;
    if (argc < first + 2 || (!click && argc != 4)) return Usage();
    QString text = QString::fromLocal8Bit(argv[first]);
    QString marks = QString::fromLocal8Bit(argv[first + 1]);
    if (!ValidMarks(text, marks)) {
        std::fputs("count: MARKS must be as long as TEXT and hold only \" RLCc\"\n", stderr);
        return 2;
    }
    if (click) {
        for (int i = first + 2; i < argc; ++i) {
            long position = 0;
            if (!ReadNumber(argv[i], position)) {
                std::fprintf(stderr, "count: not a position: %s\n", argv[i]);
                return 2;
            }
            MarkClick(text, marks, int(std::min<long>(std::max<long>(position, 0), INT_MAX)));
            Print(QLatin1Char('|') + marks + QLatin1Char('|'));
        }
        return 0;
    }
    long steps = 0;
    if (!ReadNumber(argv[3], steps) || steps < 0) {
        std::fprintf(stderr, "count: not a number of steps: %s\n", argv[3]);
        return 2;
    }
    for (long step = 0; step < steps; ++step) {
        RaiseLower(text, marks);
        Print(text + QLatin1Char('|') + marks);
    }
    return 0;
}
