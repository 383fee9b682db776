// The counting step and the mark clicks. The input is: one byte for the
// number of steps, the text (UTF-8) up to a line end, its marks up to the
// next line end (other bytes become one of " RLCc"), then one click position
// per byte. Clicks and steps keep the marks valid; a step that does not grow
// or shrink the text leaves the marks and every unmarked character alone;
// and counting up and then down as many steps gives back the start, as long
// as no step changed the length, every carry member is a letter or digit (a
// carry into any other character can land on a class's bottom) and no L mark
// sat on a bottom character without a run (it stays where it is).
#include "fuzzcheck.h"
#include "raiselower.h"

#include <cstddef>
#include <cstdint>

namespace
{
const QString Marks = QStringLiteral(" RLCc");

bool isLetterOrDigit(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
           (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

// One counting step with the checks that hold for every step; true when it
// neither grew nor shrank a run. Only raising grows and only lowering a run
// with a growable end shrinks, so with all three kinds of mark one step may
// do both and keep the length: such a step counts as one that changed it.
bool step(QString &text, QString &marks)
{
    const QString textBefore = text;
    const QString marksBefore = marks;
    RaiseLower(text, marks);
    FUZZ_CHECK(ValidMarks(text, marks));
    if (text.size() != textBefore.size()) return false;
    if (marksBefore.contains(QLatin1Char('R')) && marksBefore.contains(QLatin1Char('L')) &&
        marksBefore.contains(QLatin1Char('c')))
        return false;
    FUZZ_CHECK(marks == marksBefore);
    for (qsizetype i = 0; i < text.size(); ++i)
        if (marks.at(i) == QLatin1Char(' ')) FUZZ_CHECK(text.at(i) == textBefore.at(i));
    return true;
}

// True when a character marked L is at the bottom of its class with no carry
// run: it does not wrap, so raising it afterwards does not undo the step.
bool lowersAStuckBottom(const QString &text, const QString &marks)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (marks.at(i) != QLatin1Char('L')) continue;
        if (c != QLatin1Char('0') && c != QLatin1Char('a') && c != QLatin1Char('A')) continue;
        if (i == 0 || (marks.at(i - 1) != QLatin1Char('C') && marks.at(i - 1) != QLatin1Char('c')))
            return true;
    }
    return false;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1) return 0;
    const int steps = 1 + data[0] % 4;
    const QByteArray input(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const qsizetype textEnd = input.indexOf('\n');
    if (textEnd < 0) return 0;
    qsizetype marksEnd = input.indexOf('\n', textEnd + 1);
    if (marksEnd < 0) marksEnd = input.size();
    const QString start = QString::fromUtf8(input.left(textEnd));
    const QByteArray rawMarks = input.mid(textEnd + 1, marksEnd - textEnd - 1);
    const QByteArray clicks = input.mid(marksEnd + 1);

    // Any mark string, of any length and with any characters: no harm, and
    // the marks end as long as the text.
    {
        QString text = start;
        QString marks = QString::fromLatin1(rawMarks);
        RaiseLower(text, marks);
        FUZZ_CHECK(marks.size() == text.size());
    }

    QString marks;
    for (const char b : rawMarks)
        marks += Marks.contains(QLatin1Char(b)) ? QLatin1Char(b) : Marks.at(uchar(b) % 5);
    marks = marks.leftJustified(start.size(), QLatin1Char(' '), true);
    // Positions 0 and length + 1 are outside the text and change nothing.
    for (const char b : clicks) {
        const int p = int(uchar(b) % (start.size() + 2));
        const QString before = marks;
        MarkClick(start, marks, p);
        FUZZ_CHECK(ValidMarks(start, marks));
        if (p < 1 || p > start.size()) FUZZ_CHECK(marks == before);
    }

    QString text = start;
    const QString startMarks = marks;
    bool undone = true;
    for (int i = 0; i < steps; ++i) {
        if (lowersAStuckBottom(text, marks)) undone = false;
        undone = step(text, marks) && undone;
    }
    SwapMarks(marks);
    for (int i = 0; i < steps; ++i)
        undone = step(text, marks) && undone;
    SwapMarks(marks);
    if (!undone) return 0;
    for (qsizetype i = 0; i < start.size(); ++i) {
        const QChar m = startMarks.at(i);
        if ((m == QLatin1Char('C') || m == QLatin1Char('c')) && !isLetterOrDigit(start.at(i)))
            return 0;
    }
    FUZZ_CHECK(text == start);
    FUZZ_CHECK(marks == startMarks);
    return 0;
}
