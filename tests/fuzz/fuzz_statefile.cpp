// The state-file reader and the range split. Any file content is read without
// harm; what was read is written back and read again unchanged. Two numbers
// from the input are split into ranges that must cover the size exactly.
#include "fuzzcheck.h"
#include "statefiles.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace
{
// One scratch folder for the whole run.
const QString &folder()
{
    static QTemporaryDir dir;
    static const QString path = dir.path();
    return path;
}

void checkSplit(const uint8_t *data, size_t size)
{
    if (size < 16) return;
    qint64 total = 0;
    qint64 part = 0;
    std::memcpy(&total, data, 8);
    std::memcpy(&part, data + 8, 8);
    if (total < 0) total = -(total + 1);
    if (part < 0) part = -(part + 1);
    if (part <= 0 || total < part) return;
    qint64 partSize = part;
    QList<ByteRange> ranges;
    int count = 0;
    StateFiles::SplitIntoRanges(total, partSize, ranges, count);
    FUZZ_CHECK(count == ranges.size());
    FUZZ_CHECK(count >= 1 && count <= 10);
    FUZZ_CHECK(StateFiles::RangesCover(ranges, total));
    // Every part but the last has the part size (changed when the cap of ten
    // parts applies); the last takes the rest.
    for (int i = 0; i + 1 < count; ++i)
        FUZZ_CHECK(ranges[i].Length() == partSize);
    FUZZ_CHECK(ranges.last().Length() >= 1);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    checkSplit(data, size);

    StateFiles files(folder());
    {
        QFile file(files.PathOf(QStringLiteral("1.qvi")));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    QString name = QStringLiteral("1.qvi");
    QString row;
    QString length;
    int partCount = 0;
    QList<ByteRange> ranges;
    FUZZ_CHECK(files.ReadStateFile(name, row, length, partCount, ranges) == 0);
    FUZZ_CHECK(ranges.size() == partCount);
    QFile::remove(files.PathOf(QStringLiteral("1.qvi")));

    // Written back and read again: the same values.
    if (row.contains(QLatin1Char('\r')) || length.contains(QLatin1Char('\r'))) return 0;
    QFile::remove(files.PathOf(QStringLiteral("2.qvi")));
    if (files.WriteStateFile(QStringLiteral("2"), row, length, partCount, ranges) != 0) return 0;
    QString name2 = QStringLiteral("2.qvi");
    QString row2;
    QString length2;
    int partCount2 = 0;
    QList<ByteRange> ranges2;
    FUZZ_CHECK(files.ReadStateFile(name2, row2, length2, partCount2, ranges2) == 0);
    FUZZ_CHECK(name2 == QLatin1String("2"));
    FUZZ_CHECK(row2 == row);
    FUZZ_CHECK(length2 == length);
    FUZZ_CHECK(partCount2 == partCount);
    FUZZ_CHECK(ranges2 == ranges);
    QFile::remove(files.PathOf(QStringLiteral("2.qvi")));
    return 0;
}
