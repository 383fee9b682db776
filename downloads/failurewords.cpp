#include "failurewords.h"

#include "programstate.h"
#include "statewords.h"

#include <QList>
#include <QRegularExpression>

namespace
{

struct Pattern {
    const char *key;
    const char *english;
    QRegularExpression match;
};

// The English pattern as a whole-text expression, each %n one capture.
QRegularExpression ToExpression(const QString &english)
{
    QString expression = QRegularExpression::escape(english);
    expression.replace(QRegularExpression(QStringLiteral("\\\\%\\d")), QStringLiteral("(.*)"));
    return QRegularExpression(QStringLiteral("^") + expression + QStringLiteral("$"),
                              QRegularExpression::DotMatchesEverythingOption);
}

const QList<Pattern> &Patterns()
{
    static const QList<Pattern> table = [] {
        const std::pair<const char *, const char *> known[] = {
            {"FAILHTTPSTATUS", "HTTP status %1"},
            {"FAILHOSTNOTFOUND", "host not found: %1 (%2)"},
            {"FAILREFUSED", "connection refused by %1 (%2)"},
            {"FAILCONNECTION", "connection error: %1"},
            {"FAILNOCONNECTION", "no connection within %1"},
            {"FAILNODATA", "no data for %1"},
            {"FAILCLOSEDAFTER", "the server closed the connection after %1 of %2 bytes"},
            {"FAILCLOSEDNOANSWER", "the server closed the connection without an answer"},
            {"FAILCLOSEDHEADER", "the server closed the connection inside the response header"},
            {"FAILCLOSED", "the connection was closed"},
            {"FAILRANGE", "the server did not send the requested byte range (HTTP status %1)"},
            {"FAILREDIRECTS", "too many redirects"},
            {"FAILNOTHTTP", "the server's answer is not an HTTP response"},
            {"FAILCERTIFICATE", "the certificate of %1 was refused: %2"},
            {"FAILTLS", "TLS handshake with %1 failed: %2"},
            {"FAILTARGETNAME", "unusable target file name"},
            {"FAILNOTHTML", "not an HTML page (%1)"},
            {"FAILPAGENOTLOADED", "the page could not be loaded"},
            {"FAILSTOPPED", "stopped"},
        };
        QList<Pattern> t;
        for (const auto &[key, english] : known)
            t.append({key, english, ToExpression(QString::fromLatin1(english))});
        return t;
    }();
    return table;
}

} // namespace

QString LocalReason(const QString &reason, const LanguageTexts &texts)
{
    for (const Pattern &p : Patterns()) {
        const QRegularExpressionMatch m = p.match.match(reason);
        if (!m.hasMatch()) continue;
        QString text = texts.Text(QString::fromLatin1(p.key), QString::fromLatin1(p.english));
        for (int i = 1; i <= m.lastCapturedIndex(); ++i)
            text = text.arg(m.captured(i));
        return text;
    }
    return reason;
}

QString StateShown(const QString &state, const LanguageTexts &texts)
{
    const std::pair<QLatin1StringView, const char *> words[] = {
        {StateDone, "STATEDONE"},       {StateProgress, "STATEPROGRESS"},
        {StateFailed, "STATEFAILED"},   {StateTooSmall, "STATETOOSMALL"},
        {StateAborted, "STATEABORTED"}, {StateServerWait, "STATEWAITING"},
    };
    for (const auto &[word, key] : words)
        if (state == word) return texts.Text(QString::fromLatin1(key), state);
    return state;
}
