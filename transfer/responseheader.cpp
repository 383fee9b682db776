#include "responseheader.h"

#include <limits>

qint64 LeadingSignedNumber(const QByteArray &text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    constexpr qint64 max = std::numeric_limits<qint64>::max();
    qint64 value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        if (value > (max - digit) / 10) {
            value = max;
            break;
        }
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

ResponseHeader ResponseHeader::parse(const QByteArray &block)
{
    ResponseHeader h;
    h.m_block = block;
    // Status line: "HTTP/x.y NNN reason".
    const qsizetype lineEnd = block.indexOf("\r\n");
    const QByteArray statusLine = block.left(lineEnd < 0 ? block.size() : lineEnd);
    if (statusLine.startsWith("HTTP/")) {
        const qsizetype space = statusLine.indexOf(' ');
        if (space > 0) {
            qsizetype i = space;
            while (i < statusLine.size() && statusLine[i] == ' ')
                ++i;
            int code = 0;
            int digits = 0;
            while (i < statusLine.size() && digits < 3 && statusLine[i] >= '0' &&
                   statusLine[i] <= '9') {
                code = code * 10 + (statusLine[i] - '0');
                ++digits;
                ++i;
            }
            if (digits == 3) {
                h.m_ok = true;
                h.m_status = code;
            }
        }
    }
    const QByteArray length = h.field("Content-Length");
    if (!length.isNull()) {
        h.m_hasContentLength = true;
        h.m_contentLength = LeadingSignedNumber(length);
    }
    const QByteArray coding = h.field("Transfer-Encoding");
    h.m_chunked = !coding.isNull() && coding.toLower().contains("chunked");
    return h;
}

QByteArray ResponseHeader::field(const QByteArray &name) const
{
    // Every line after the status line; names compared without regard to case.
    qsizetype start = m_block.indexOf("\r\n");
    while (start >= 0) {
        start += 2;
        const qsizetype end = m_block.indexOf("\r\n", start);
        const qsizetype stop = end < 0 ? m_block.size() : end;
        if (stop - start > name.size() && m_block[start + name.size()] == ':' &&
            qstrnicmp(m_block.constData() + start, name.constData(), name.size()) == 0) {
            const qsizetype from = start + name.size() + 1;
            QByteArray value = m_block.mid(from, stop - from);
            if (value.isNull()) value = QByteArray("");
            return value;
        }
        start = end;
    }
    return QByteArray();
}

QString ResponseHeader::contentLengthText() const
{
    if (!m_hasContentLength) return QString();
    return m_contentLength >= 0 ? QStringLiteral(" ") + QString::number(m_contentLength)
                                : QString::number(m_contentLength);
}

namespace
{
// Reads an unsigned decimal number at text[i], advancing i; false without digits.
bool readNumber(const QByteArray &text, qsizetype &i, qint64 &value)
{
    const qsizetype start = i;
    value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (value > (std::numeric_limits<qint64>::max() - 9) / 10) return false;
        value = value * 10 + (text[i] - '0');
        ++i;
    }
    return i > start;
}
} // namespace

bool ResponseHeader::contentRange(qint64 &first, qint64 &last, qint64 &total) const
{
    const QByteArray value = field("Content-Range").trimmed();
    if (value.size() < 6 || qstrnicmp(value.constData(), "bytes ", 6) != 0) return false;
    qsizetype i = 6;
    while (i < value.size() && value[i] == ' ')
        ++i;
    if (!readNumber(value, i, first) || i >= value.size() || value[i++] != '-') return false;
    if (!readNumber(value, i, last) || i >= value.size() || value[i++] != '/') return false;
    if (i < value.size() && value[i] == '*' && i + 1 == value.size()) {
        total = -1;
    } else if (!readNumber(value, i, total) || i != value.size()) {
        return false;
    }
    return first <= last && (total < 0 || last < total);
}
