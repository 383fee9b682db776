#include "chunkeddecoder.h"

#include <cstring>
#include <limits>

namespace
{
// A size line longer than this is not a size line.
constexpr qsizetype MaxSizeLine = 4096;

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
} // namespace

bool ChunkedDecoder::fail(const QString &why)
{
    m_state = State::Broken;
    m_error = why;
    return false;
}

bool ChunkedDecoder::skipTrailer(const char *data, qsizetype size, qsizetype &i)
{
    while (i < size) {
        const char *lf = static_cast<const char *>(memchr(data + i, '\n', size_t(size - i)));
        const qsizetype take = lf ? (lf - (data + i)) : (size - i);
        m_line.append(data + i, take);
        i += take;
        if (m_line.size() > MaxSizeLine) {
            // A trailer that never ends leaves the body complete but the
            // connection unusable.
            m_bytesAfter = true;
            i = size;
            break;
        }
        if (!lf) break;
        ++i;
        const bool empty = m_line.isEmpty() || m_line == "\r";
        m_line.clear();
        if (empty) {
            m_trailerEnded = true;
            return true;
        }
    }
    return false;
}

bool ChunkedDecoder::feed(const char *data, qsizetype size, QByteArray &out)
{
    qsizetype i = 0;
    while (i < size) {
        switch (m_state) {
        case State::Done:
            // The body is complete; trailer lines up to an empty one are
            // skipped, and anything after them is noted.
            if (m_trailerEnded) {
                m_bytesAfter = true;
                return true;
            }
            if (!skipTrailer(data, size, i)) return true;
            break;
        case State::Broken:
            return false;
        case State::SizeLine: {
            const char *lf = static_cast<const char *>(memchr(data + i, '\n', size_t(size - i)));
            const qsizetype take = lf ? (lf - (data + i)) : (size - i);
            m_line.append(data + i, take);
            i += take;
            if (m_line.size() > MaxSizeLine)
                return fail(QStringLiteral("chunk size line too long"));
            if (!lf) return true;
            ++i; // the LF
            QByteArray line = m_line;
            m_line.clear();
            if (line.endsWith('\r')) line.chop(1);
            const qsizetype semi = line.indexOf(';');
            if (semi >= 0) line.truncate(semi);
            line = line.trimmed();
            if (line.isEmpty()) return fail(QStringLiteral("empty chunk size line"));
            qint64 value = 0;
            for (char c : line) {
                const int v = hexValue(c);
                if (v < 0) return fail(QStringLiteral("bad chunk size"));
                if (value > (std::numeric_limits<qint64>::max() >> 4))
                    return fail(QStringLiteral("chunk size too large"));
                value = value * 16 + v;
            }
            if (value == 0) {
                m_state = State::Done;
                break;
            }
            m_remaining = value;
            m_state = State::Data;
            break;
        }
        case State::Data: {
            const qsizetype take = qsizetype(qMin<qint64>(m_remaining, size - i));
            out.append(data + i, take);
            i += take;
            m_remaining -= take;
            if (m_remaining == 0) m_state = State::DataEnd;
            break;
        }
        case State::DataEnd:
            // CR LF after the data; a lone LF is accepted too.
            if (data[i] == '\r') {
                ++i;
                break;
            }
            if (data[i] != '\n') return fail(QStringLiteral("missing line end after chunk data"));
            ++i;
            m_state = State::SizeLine;
            break;
        }
    }
    return m_state != State::Broken;
}
