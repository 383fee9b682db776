#include "raiselower.h"

namespace
{

bool IsDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool IsLetter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

bool IsCarryMark(QChar m)
{
    return m == QLatin1Char('C') || m == QLatin1Char('c');
}

// The top and bottom of each class, and what they wrap to.
bool IsTop(QChar c)
{
    return c == QLatin1Char('9') || c == QLatin1Char('z') || c == QLatin1Char('Z');
}

bool IsBottom(QChar c)
{
    return c == QLatin1Char('0') || c == QLatin1Char('a') || c == QLatin1Char('A');
}

QChar BottomOf(QChar top)
{
    return top == QLatin1Char('9')
               ? QLatin1Char('0')
               : QChar(top.unicode() - (QLatin1Char('z').unicode() - QLatin1Char('a').unicode()));
}

QChar TopOf(QChar bottom)
{
    return bottom == QLatin1Char('0') ? QLatin1Char('9')
                                      : QChar(bottom.unicode() + (QLatin1Char('z').unicode() -
                                                                  QLatin1Char('a').unicode()));
}

QChar Next(QChar c)
{
    return QChar(char16_t(c.unicode() + 1));
}

QChar Previous(QChar c)
{
    return QChar(char16_t(c.unicode() - 1));
}

// Positions are 1-based throughout; these read and write at position p.
QChar At(const QString &s, int p)
{
    return s.at(p - 1);
}

void Set(QString &s, int p, QChar c)
{
    s[p - 1] = c;
}

// The carry run of position k: the positions directly left of it marked C or
// c. Returns its leftmost position, or k itself when there is none.
int RunStart(const QString &marks, int k)
{
    int s = k;
    while (s > 1 && IsCarryMark(At(marks, s - 1)))
        --s;
    return s;
}

// Raises position k; returns how far the positions left of k moved (1 when a
// "1" was put in front of the run).
int Raise(QString &text, QString &marks, int k)
{
    int s = RunStart(marks, k);
    bool growable = s < k && At(marks, s) == QLatin1Char('c');
    if (!IsTop(At(text, k))) {
        Set(text, k, Next(At(text, k)));
        return 0;
    }
    // A top character without a run of its own grows in front of itself.
    if (s == k) growable = true;
    bool carry = false;
    for (int j = k; j >= s; --j) {
        const QChar c = At(text, j);
        if (IsTop(c)) {
            if (j == k || carry) {
                Set(text, j, BottomOf(c));
                carry = true;
            }
        } else if (carry) {
            carry = false;
            Set(text, j, Next(c));
        }
    }
    if (!carry || !growable) return 0;
    text.insert(s - 1, QLatin1Char('1'));
    if (At(marks, s) == QLatin1Char('c')) Set(marks, s, QLatin1Char('C'));
    marks.insert(s - 1, QLatin1Char('c'));
    return s < k ? 1 : 0;
}

// Lowers position k; returns how far the positions left of k moved (-1 when
// the run's leading "0" was removed).
int Lower(QString &text, QString &marks, int k)
{
    const int s = RunStart(marks, k);
    if (!IsBottom(At(text, k))) {
        Set(text, k, Previous(At(text, k)));
        return 0;
    }
    // A bottom character without a run does not wrap.
    if (s == k) return 0;
    const bool growable = At(marks, s) == QLatin1Char('c');
    bool borrow = false;
    for (int j = k; j >= s; --j) {
        const QChar c = At(text, j);
        if (IsBottom(c)) {
            if (j == k || borrow) {
                Set(text, j, TopOf(c));
                borrow = true;
            }
        } else if (borrow) {
            borrow = false;
            Set(text, j, Previous(c));
        }
    }
    if (At(text, s) != QLatin1Char('0') || !growable) return 0;
    if (At(marks, s + 1) == QLatin1Char('C')) Set(marks, s + 1, QLatin1Char('c'));
    text.remove(s - 1, 1);
    marks.remove(s - 1, 1);
    return -1;
}

} // namespace

void RaiseLower(QString &text, QString &marks)
{
    // Marks always belong to the characters: a short mark string reads blank.
    marks = marks.leftJustified(text.size(), QLatin1Char(' '), true);
    int k = int(text.size());
    while (k >= 1) {
        const QChar c = At(text, k);
        const QChar m = At(marks, k);
        int shift = 0;
        if (IsDigit(c) || IsLetter(c)) {
            if (m == QLatin1Char('R'))
                shift = Raise(text, marks, k);
            else if (m == QLatin1Char('L'))
                shift = Lower(text, marks, k);
        }
        // The visit goes on with the position that was left of k, wherever
        // a grown or shrunk run has moved it.
        k = k - 1 + shift;
    }
}

void MarkClick(const QString &text, QString &marks, int p)
{
    const int length = int(text.size());
    if (p < 1 || p > length) return;
    marks = marks.leftJustified(length, QLatin1Char(' '), true);
    const QChar blank = QLatin1Char(' ');
    const QChar mark = At(marks, p);
    // What the neighbours are; positions outside the text read as blank.
    auto markAt = [&](int q) { return q >= 1 && q <= length ? At(marks, q) : blank; };
    auto countsOrCarries = [](QChar m) {
        return m == QLatin1Char('R') || m == QLatin1Char('L') || m == QLatin1Char('C');
    };

    if (mark == blank) {
        Set(marks, p, QLatin1Char('R'));
        // A carry run over the unmarked characters of the same class.
        const bool digits = IsDigit(At(text, p));
        for (int j = p - 1; j >= 1; --j) {
            if (At(marks, j) != blank) continue;
            const QChar c = At(text, j);
            if (digits ? !IsDigit(c) : !IsLetter(c)) break;
            Set(marks, j, QLatin1Char('C'));
        }
    } else if (mark == QLatin1Char('R')) {
        Set(marks, p, QLatin1Char('L'));
    } else if (mark == QLatin1Char('L')) {
        Set(marks, p, blank);
        if (p > 1 && p < length) {
            // Right of a run, p keeps the run's counter; left of a counter or
            // a run, p becomes a member of that run.
            if (IsCarryMark(markAt(p - 1))) Set(marks, p, QLatin1Char('R'));
            const QChar right = markAt(p + 1);
            if (countsOrCarries(right)) {
                Set(marks, p, QLatin1Char('C'));
            } else if (right == QLatin1Char('c')) {
                Set(marks, p + 1, QLatin1Char('C'));
                Set(marks, p, QLatin1Char('C'));
            }
        }
        // A run left without its counter is cleared.
        if (At(marks, p) == blank && p > 1) {
            for (int j = p - 1; j >= 1 && IsCarryMark(At(marks, j)); --j)
                Set(marks, j, blank);
        }
    } else if (mark == QLatin1Char('C')) {
        if (p == length) return;
        if (p == 1 || !IsCarryMark(markAt(p - 1))) {
            const QChar right = markAt(p + 1);
            if (countsOrCarries(right)) {
                Set(marks, p, QLatin1Char('c'));
            } else if (right == QLatin1Char('c')) {
                Set(marks, p, QLatin1Char('c'));
                Set(marks, p + 1, QLatin1Char('C'));
            }
        }
    } else if (mark == QLatin1Char('c')) {
        Set(marks, p, blank);
    }
}

void SwapMarks(QString &marks)
{
    for (QChar &m : marks) {
        const QChar upper = m.toUpper();
        if (upper == QLatin1Char('R'))
            m = QLatin1Char('L');
        else if (upper == QLatin1Char('L'))
            m = QLatin1Char('R');
    }
}

bool ValidMarks(const QString &text, const QString &marks)
{
    if (marks.size() != text.size()) return false;
    for (QChar m : marks) {
        if (!QStringLiteral(" RLCc").contains(m)) return false;
    }
    return true;
}
