// The body side of a TransferJob: checking a 206 answer against the range
// asked for, the local file (new or appended), writing the body, and what
// follows a complete body (the end, or a request for the rest of a range).
#include "transferjob.h"

#include "localfilenames.h"
#include "quarvel.h"

#include <QFileInfo>

namespace
{
// A server may answer a range request with less than was asked; the rest is
// asked for again, but not without end.
constexpr int MaxRangeRequests = 64;
} // namespace

bool TransferJob::checkPartialAnswer(const ResponseHeader &header, qint64 length)
{
    // A 206 must say which bytes it holds: they must start where this request
    // starts and end inside the range asked for. Anything else would put the
    // bytes at the wrong place of the part file.
    qint64 first = 0, last = 0, total = 0;
    if (!header.contentRange(first, last, total)) {
        fail(QStringLiteral("the 206 answer has no valid Content-Range"));
        return false;
    }
    const bool endAsked = m_params.endRange >= m_params.startRange;
    if (first != m_rangeStart || (endAsked && last > m_params.endRange)) {
        fail(QStringLiteral("the server sent bytes %1-%2 for the range %3-%4")
                 .arg(first)
                 .arg(last)
                 .arg(m_rangeStart)
                 .arg(m_params.endRange));
        return false;
    }
    if (header.hasContentLength() && !m_isChunked && length != last - first + 1) {
        fail(QStringLiteral("the 206 answer's Content-Length does not match its Content-Range"));
        return false;
    }
    if (!m_isChunked) {
        m_hasLength = true;
        m_responseLength = last - first + 1;
    }
    m_rangeAnswerLast = last;
    // Progress reports the whole range asked for, also over several answers.
    if (endAsked) m_contentLength = m_params.endRange - m_params.startRange + 1;
    return true;
}

bool TransferJob::openLocalFile()
{
    // The file stays open while a range is completed over several answers.
    if (m_file.isOpen()) return true;
    // Unbuffered: every Progress reports bytes that are already in the file.
    if (m_params.append) {
        m_file.setFileName(m_params.localFile);
        if (m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            return true;
    } else {
        // A new file never touches an existing one: whatever appeared under the
        // name since the transfer started sends it on to the next "A" name.
        for (;;) {
            m_file.setFileName(m_params.localFile);
            if (m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
                m_createdFile = true;
                return true;
            }
            if (!QFileInfo::exists(m_params.localFile)) break;
            const QString next = LocalFileNames::UniqueName(m_params.localFile);
            if (!LocalFileNames::Claim(next)) continue;
            LocalFileNames::Release(m_params.localFile);
            m_params.localFile = next;
        }
    }
    fail(QStringLiteral("cannot open the local file %1: %2")
             .arg(m_params.localFile, m_file.errorString()));
    return false;
}

bool TransferJob::writeBody(const char *data, qsizetype size)
{
    if (size <= 0) return true;
    if (m_file.write(data, size) != size) {
        fail(QStringLiteral("cannot write the local file %1: %2")
                 .arg(m_params.localFile, m_file.errorString()));
        return false;
    }
    m_bytesWritten += size;
    return true;
}

bool TransferJob::bodyComplete() const
{
    if (m_isChunked) return m_chunked.isDone();
    return m_hasLength && m_bytesWritten - m_responseStart >= m_responseLength;
}

void TransferJob::bodyEnded()
{
    // An answer that ended by its length or its last chunk leaves the
    // connection for the next request (also the rest of this range).
    handBack(m_isChunked ? m_chunked.endedExactly() : m_hasLength);
    if (m_rangeAnswerLast < 0) {
        finish();
        return;
    }
    const qint64 received = m_bytesWritten - m_responseStart;
    const qint64 announced = m_rangeAnswerLast - m_rangeStart + 1;
    if (received != announced) {
        fail(QStringLiteral("the 206 answer held %1 bytes, its Content-Range %2")
                 .arg(received)
                 .arg(announced));
        return;
    }
    if (m_params.endRange < m_params.startRange || m_rangeAnswerLast >= m_params.endRange) {
        finish();
        return;
    }
    // A short answer: ask for the rest of the range on a new (or the kept)
    // connection, appending to the same file.
    if (++m_rangeRequests >= MaxRangeRequests) {
        fail(QStringLiteral("the server sent the range in too many pieces"));
        return;
    }
    m_rangeStart = m_rangeAnswerLast + 1;
    m_rangeAnswerLast = -1;
    m_chunked = ChunkedDecoder();
    connectTo(m_address);
}
