#pragma once

#include "dornex_export.h"

#include <QByteArray>
#include <QString>

// Decodes a "Transfer-Encoding: chunked" body as it arrives, in reads of any
// size: size lines (also split across reads), chunk extensions and the CR LF
// after each chunk. The body is complete at the chunk of size 0.
class DORNEX_EXPORT ChunkedDecoder
{
public:
    // Decodes the bytes and appends the body bytes they hold to out. Returns
    // false when the encoding is malformed (error() says how); bytes after the
    // last chunk are ignored.
    bool feed(const char *data, qsizetype size, QByteArray &out);
    bool isDone() const { return m_state == State::Done; }
    // True when the body ended exactly: the empty line after the last chunk
    // (and its trailer lines, if any) has arrived and no byte followed it. Only
    // then may the connection carry another response.
    bool endedExactly() const { return isDone() && m_trailerEnded && !m_bytesAfter; }
    QString error() const { return m_error; }

private:
    enum class State {
        SizeLine, // reading a chunk-size line up to its LF
        Data,     // inside a chunk's data, m_remaining bytes to go
        DataEnd,  // expecting the CR LF that ends a chunk's data
        Done,     // the last chunk has been seen
        Broken,   // malformed input
    };
    bool fail(const QString &why);
    // Reads trailer lines from data[i]; true once the empty line has come.
    bool skipTrailer(const char *data, qsizetype size, qsizetype &i);

    State m_state = State::SizeLine;
    QByteArray m_line;
    qint64 m_remaining = 0;
    bool m_trailerEnded = false; // the empty line after the last chunk was seen
    bool m_bytesAfter = false;   // bytes arrived after that line
    QString m_error;
};
