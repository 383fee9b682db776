#pragma once

#include "dornex_export.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The parsed header block of one HTTP response (status line up to and
// including the empty line). Field names match case-insensitively at the
// start of a line; values keep the text after the colon as it stands.
class DORNEX_EXPORT ResponseHeader
{
public:
    // Parses a complete header block. ok() is false when the status line is
    // not "HTTP/<version> <code> ...".
    static ResponseHeader parse(const QByteArray &block);

    bool ok() const { return m_ok; }
    int statusCode() const { return m_status; }
    // Raw value of the first field of that name (text after the colon up to
    // the line end, leading blank kept); null when absent.
    QByteArray field(const QByteArray &name) const;
    bool hasField(const QByteArray &name) const { return !field(name).isNull(); }
    // Raw values of every field of that name, in order (at most limit of them
    // when limit > 0).
    QList<QByteArray> fields(const QByteArray &name, int limit = 0) const;

    // Announced length: the Content-Length value; 0 when absent or invalid.
    qint64 contentLength() const { return m_contentLength; }
    bool hasContentLength() const { return m_hasContentLength; }
    // False when a Content-Length field is not one non-negative decimal
    // number (blanks around it allowed), or when repeated fields disagree.
    bool contentLengthValid() const { return m_contentLengthValid; }
    // The length as the Header event reports it: " 1024" (one blank before
    // the number), or empty without the field.
    QString contentLengthText() const;
    bool isChunked() const { return m_chunked; }
    // The Content-Range of a 206 answer, "bytes FIRST-LAST/TOTAL": false when
    // the field is missing or not of that form; total is -1 for "*".
    bool contentRange(qint64 &first, qint64 &last, qint64 &total) const;
    // False when the server says it closes the connection after this answer:
    // "Connection: close", or HTTP/1.0 without "Connection: keep-alive".
    bool keepsConnection() const;

private:
    QByteArray m_block;
    bool m_ok = false;
    int m_status = 0;
    qint64 m_contentLength = 0;
    bool m_hasContentLength = false;
    bool m_contentLengthValid = true;
    bool m_chunked = false;
};

// Reads a length value: blanks and tabs around it, then decimal digits only
// (no sign, no exponent, no inner blank or comma), at most the 64-bit limit.
// False, value untouched, for anything else.
DORNEX_EXPORT bool ParseDecimalLength(const QByteArray &text, qint64 &value);
