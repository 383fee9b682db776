#include "responseheader.h"

#include <limits>

bool ParseDecimalLength(const QByteArray &text, qint64 &value)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && (text[from] == ' ' || text[from] == '\t'))
        ++from;
    while (to > from && (text[to - 1] == ' ' || text[to - 1] == '\t'))
        --to;
    if (from == to) return false;
    constexpr qint64 max = std::numeric_limits<qint64>::max();
    qint64 result = 0;
    for (qsizetype i = from; i < to; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        const int digit = text[i] - '0';
        if (result > (max - digit) / 10) return false;
        result = result * 10 + digit;
    }
    value = result;
    return true;
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
    // Every Content-Length field must hold the same valid number.
    const QList<QByteArray> lengths = h.fields("Content-Length");
    h.m_hasContentLength = !lengths.isEmpty();
    for (qsizetype i = 0; i < lengths.size(); ++i) {
        qint64 value = 0;
        if (!ParseDecimalLength(lengths[i], value) || (i > 0 && value != h.m_contentLength)) {
            h.m_contentLengthValid = false;
            h.m_contentLength = 0;
            break;
        }
        h.m_contentLength = value;
    }
    const QByteArray coding = h.field("Transfer-Encoding");
    h.m_chunked = !coding.isNull() && coding.toLower().contains("chunked");
    return h;
}

bool ResponseHeader::keepsConnection() const
{
    bool close = false, keepAlive = false;
    for (const QByteArray &value : fields("Connection"))
        for (const QByteArray &token : value.split(',')) {
            const QByteArray t = token.trimmed().toLower();
            close = close || t == "close";
            keepAlive = keepAlive || t == "keep-alive";
        }
    if (close) return false;
    return keepAlive || !m_block.startsWith("HTTP/1.0");
}

QByteArray ResponseHeader::field(const QByteArray &name) const
{
    const QList<QByteArray> all = fields(name, 1);
    return all.isEmpty() ? QByteArray() : all.first();
}

QList<QByteArray> ResponseHeader::fields(const QByteArray &name, int limit) const
{
    // Every line after the status line; names compared without regard to case.
    QList<QByteArray> values;
    qsizetype start = m_block.indexOf("\r\n");
    while (start >= 0 && (limit <= 0 || values.size() < limit)) {
        start += 2;
        const qsizetype end = m_block.indexOf("\r\n", start);
        const qsizetype stop = end < 0 ? m_block.size() : end;
        if (stop - start > name.size() && m_block[start + name.size()] == ':' &&
            qstrnicmp(m_block.constData() + start, name.constData(), name.size()) == 0) {
            const qsizetype from = start + name.size() + 1;
            QByteArray value = m_block.mid(from, stop - from);
            if (value.isNull()) value = QByteArray("");
            values.append(value);
        }
        start = end;
    }
    return values;
}

QString ResponseHeader::contentLengthText() const
{
    if (!m_hasContentLength || !m_contentLengthValid) return QString();
    return QStringLiteral(" ") + QString::number(m_contentLength);
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
