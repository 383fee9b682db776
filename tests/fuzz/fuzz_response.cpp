// The response header parser and the chunked decoder. The input is a header
// block followed by a chunked body. The body is decoded once whole and once
// split at points taken from the input's own bytes: both feeds must give the
// same verdict and the same body. A valid Content-Length is a plain number.
#include "chunkeddecoder.h"
#include "fuzzcheck.h"
#include "responseheader.h"

#include <cstddef>
#include <cstdint>

namespace
{
struct Verdict {
    bool ok = true;
    bool done = false;
    QByteArray body;
};

Verdict decode(const QByteArray &bytes, const QList<qsizetype> &cuts)
{
    ChunkedDecoder decoder;
    Verdict v;
    qsizetype at = 0;
    QList<qsizetype> points = cuts;
    points.append(bytes.size());
    for (qsizetype cut : points) {
        if (cut < at) continue;
        if (!decoder.feed(bytes.constData() + at, cut - at, v.body)) {
            v.ok = false;
            break;
        }
        at = cut;
        if (decoder.isDone()) break;
    }
    v.done = decoder.isDone();
    return v;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype end = input.indexOf("\r\n\r\n");
    const QByteArray block = end < 0 ? input : input.left(end + 4);
    const QByteArray body = end < 0 ? QByteArray() : input.mid(end + 4);

    const ResponseHeader header = ResponseHeader::parse(block);
    if (header.ok()) FUZZ_CHECK(header.statusCode() >= 0 && header.statusCode() <= 999);
    FUZZ_CHECK(header.contentLength() >= 0);
    if (!header.contentLengthValid()) FUZZ_CHECK(header.contentLengthText().isEmpty());
    if (header.hasContentLength() && header.contentLengthValid()) {
        const QString text = header.contentLengthText();
        FUZZ_CHECK(text == QStringLiteral(" ") + QString::number(header.contentLength()));
    }

    // Split points: every byte of the header block names a cut in the body.
    QList<qsizetype> cuts;
    if (!body.isEmpty()) {
        qsizetype at = 0;
        for (char c : block) {
            at += qsizetype(static_cast<unsigned char>(c) % 17);
            if (at >= body.size()) break;
            cuts.append(at);
        }
    }
    const Verdict whole = decode(body, {});
    const Verdict split = decode(body, cuts);
    FUZZ_CHECK(whole.ok == split.ok);
    FUZZ_CHECK(whole.done == split.done);
    if (whole.ok) FUZZ_CHECK(whole.body == split.body);
    FUZZ_CHECK(whole.body.size() <= body.size());
    return 0;
}
