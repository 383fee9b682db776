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

    State m_state = State::SizeLine;
    QByteArray m_line;
    qint64 m_remaining = 0;
    QString m_error;
};
