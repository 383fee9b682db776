#include "pagetext.h"

#include <QRegularExpression>
#include <QStringDecoder>

namespace
{

// How much of a page's beginning is searched for its <meta> character set
// (browsers look at the first 1024 bytes; this leaves room for long heads).
constexpr qsizetype MetaWindow = 8192;

} // namespace

QString CharsetOf(const QByteArray &text)
{
    // "charset=" in a Content-Type value, in <meta charset="..."> and in the
    // content of <meta http-equiv="Content-Type">, quoted or not.
    static const QRegularExpression charset(
        QStringLiteral("charset\\s*=\\s*[\"']?\\s*([A-Za-z0-9._:-]+)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = charset.match(QString::fromLatin1(text));
    return match.hasMatch() ? match.captured(1) : QString();
}

bool IsPageType(const QString &contentType)
{
    const QString type = contentType.section(QLatin1Char(';'), 0, 0).trimmed().toLower();
    return type.isEmpty() || type.startsWith(QLatin1String("text/")) ||
           type.contains(QLatin1String("html")) || type.contains(QLatin1String("xml"));
}

QString PageText(const QByteArray &bytes, const QString &contentType)
{
    QString named = CharsetOf(contentType.toLatin1());
    if (named.isEmpty()) {
        // Only <meta> tags count, not a "charset=" in the page's text.
        static const QRegularExpression meta(QStringLiteral("<meta\\s[^>]*charset[^>]*>"),
                                             QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch tag = meta.match(QString::fromLatin1(bytes.left(MetaWindow)));
        if (tag.hasMatch()) named = CharsetOf(tag.captured(0).toLatin1());
    }
    if (!named.isEmpty()) {
        // Stateless: the page is whole, a cut sequence at its end is an error.
        QStringDecoder decoder(named.toLatin1().constData(), QStringDecoder::Flag::Stateless);
        if (decoder.isValid()) return decoder.decode(bytes);
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}
