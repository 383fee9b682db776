#include "statefiles.h"

#include "leadingnumber.h"
#include "localfilenames.h"
#include "wait.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QtEndian>

#include <algorithm>
#include <limits>

#include <sys/stat.h>
#include <unistd.h>

namespace
{

const QString CounterName = QStringLiteral("nextnumber.qvn");
const QString StateSuffix = QStringLiteral(".qvi");
const QString MarkerSuffix = QStringLiteral(".dqvi");

constexpr qint64 LargestNumber = std::numeric_limits<qint32>::max();
// How long GetNextNumber waits for another holder of the counter lock before
// it goes on without it, and how long each round of waiting lasts.
constexpr int LockWaitLimitMs = 10000;
constexpr int LockWaitRoundMs = 20;
// Reservations are a handful of numbers; a larger count is cut to this.
constexpr int LargestReservation = 1000000;
// At most ten parts are ever written; a damaged count larger than this is
// treated as unreadable so that it cannot make the reader allocate unbounded.
constexpr int LargestStoredPartCount = 10000;
constexpr qint64 JoinBlockSize = 1024 * 1024;
// A join lets the event loop run at least this often.
constexpr qint64 JoinYieldMs = 50;

// Removes leading and trailing space characters (only spaces, not tabs).
QString StripBlanks(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first] == u' ')
        ++first;
    while (last > first && text[last - 1] == u' ')
        --last;
    return text.mid(first, last - first);
}

// The lock file guarding path: the same name with ".lock" for its suffix, so
// the counter "nextnumber.qvn" is guarded by "nextnumber.lock" beside it.
QString LockPathFor(const QString &path)
{
    const QFileInfo info(path);
    return info.absolutePath() + u'/' + info.completeBaseName() + QStringLiteral(".lock");
}

// Converts text (blanks around it removed) to a number; value is left as it
// was when the text is not one.
void ReadNumber(const QString &text, qint64 &value)
{
    bool ok = false;
    const qint64 number = StripBlanks(text).toLongLong(&ok);
    if (ok) value = number;
}

} // namespace

StateFiles::StateFiles(const QString &tempFolder) : m_folder(QDir::cleanPath(tempFolder)) {}

QString StateFiles::PathOf(const QString &name) const
{
    if (QDir::isAbsolutePath(name)) return name;
    return m_folder + u'/' + name;
}

// The highest state or part number any state file, part file or finished
// marker in the folder carries (0 when there is none). Names whose number
// does not fit the counter are not ours and are ignored.
qint64 StateFiles::HighestNumberInUse() const
{
    static const QRegularExpression numbered(QStringLiteral("^(\\d+)\\.(qvi|qvp|dqvi)$"),
                                             QRegularExpression::CaseInsensitiveOption);
    qint64 highest = 0;
    const QStringList names = QDir(m_folder).entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        const QRegularExpressionMatch match = numbered.match(name);
        if (!match.hasMatch()) continue;
        bool ok = false;
        const qint64 number = match.captured(1).toLongLong(&ok);
        if (ok && number <= LargestNumber) highest = std::max(highest, number);
    }
    return highest;
}

// Where numbering restarts when the counter cannot be trusted: one above the
// highest number in use, or 1 when the reservation would not fit above it.
qint64 StateFiles::RestartNumber(int count) const
{
    const qint64 first = HighestNumberInUse() + 1;
    return first + count <= LargestNumber ? first : 1;
}

QString StateFiles::GetNextNumber(int count)
{
    count = std::clamp(count, 1, LargestReservation);
    const QString counterPath = PathOf(CounterName);

    // Wait while another holder has the counter, but never forever: at
    // shutdown, after the wait limit, or when the lock cannot be made at all
    // (a read-only folder), go on unguarded.
    QLockFile lock(LockPathFor(counterPath));
    // A lock counts as stale only when its process is gone, never by its age,
    // so neither this nor IsFileLocked can break a live holder's lock.
    lock.setStaleLockTime(0);
    QElapsedTimer waited;
    waited.start();
    WaitOptions options;
    options.PollMs = LockWaitRoundMs;
    WaitUntil(
        [&lock, &waited] {
            return lock.tryLock(0) || lock.error() != QLockFile::LockFailedError ||
                   waited.hasExpired(LockWaitLimitMs);
        },
        options);

    QFile counter(counterPath);
    if (!counter.open(QIODevice::ReadWrite)) return QString::number(RestartNumber(count));

    // A missing, short or non-positive counter restarts above the numbers in
    // use. So does a counter whose reservation would pass the 32-bit limit;
    // numbering then wraps round instead of overflowing.
    qint64 first = 0;
    const QByteArray stored = counter.read(4);
    if (stored.size() == 4) first = qFromLittleEndian<qint32>(stored.constData());
    if (first < 1 || first + count > LargestNumber) first = RestartNumber(count);

    const qint32 next = static_cast<qint32>(first + count);
    char bytes[4];
    qToLittleEndian<qint32>(next, bytes);
    // A failed update is not reported: the number is handed out anyway, and a
    // clash shows up later as an existing state file.
    if (counter.seek(0)) counter.write(bytes, 4);
    counter.close();
    return QString::number(first);
}

bool StateFiles::IsFileLocked(const QString &path) const
{
    QLockFile probe(LockPathFor(path));
    probe.setStaleLockTime(0);
    if (probe.tryLock(0)) {
        probe.unlock();
        return false;
    }
    // Only a lock that someone holds counts; a lock file that cannot be made
    // (no folder, no permission) is not a lock.
    return probe.error() == QLockFile::LockFailedError;
}

int StateFiles::WriteStateFile(const QString &number, const QString &row,
                               const QString &contentLength, int partCount,
                               const QList<ByteRange> &ranges)
{
    const QString path = PathOf(StripBlanks(number) + StateSuffix);
    if (QFileInfo::exists(path)) return 1;

    QByteArray text;
    const auto addLine = [&text](const QString &line) {
        text += line.toUtf8();
        text += "\r\n";
    };
    addLine(number);
    addLine(row);
    addLine(contentLength);
    addLine(QString::number(partCount));
    for (int j = 0; j < partCount && j < ranges.size(); ++j)
        addLine(QString::number(ranges[j].First) + u';' + QString::number(ranges[j].Last));

    // Written completely under a temporary name, then renamed; the rename
    // never replaces a state file another writer created meanwhile.
    QTemporaryFile temporary(path + QStringLiteral(".XXXXXX"));
    if (!temporary.open()) return 2;
    if (temporary.write(text) != text.size() || !temporary.flush()) return 2;
    temporary.close();
    if (!QFile::rename(temporary.fileName(), path)) return QFileInfo::exists(path) ? 1 : 2;
    temporary.setAutoRemove(false);
    return 0;
}

int StateFiles::ReadStateFile(QString &fileName, QString &row, QString &contentLength,
                              int &partCount, QList<ByteRange> &ranges) const
{
    // A file that exists but cannot be opened is as good as missing.
    QFile file(PathOf(StripBlanks(fileName)));
    if (!file.open(QIODevice::ReadOnly)) return 1;
    const QByteArray content = file.readAll();
    file.close();

    QStringList lines = QString::fromUtf8(content).split(u'\n');
    if (lines.last().isEmpty()) lines.removeLast();
    for (QString &line : lines) {
        if (line.endsWith(u'\r')) line.chop(1);
    }
    const auto line = [&lines](qsizetype index) -> const QString * {
        return index < lines.size() ? &lines[index] : nullptr;
    };

    if (const QString *text = line(0)) fileName = StripBlanks(*text);
    if (const QString *text = line(1)) row = StripBlanks(*text);
    if (const QString *text = line(2)) contentLength = StripBlanks(*text);
    if (const QString *text = line(3)) {
        bool ok = false;
        const int count = StripBlanks(*text).toInt(&ok);
        if (ok && count >= 0 && count <= LargestStoredPartCount) {
            partCount = count;
            ranges.resize(count);
            for (int j = 0; j < count; ++j) {
                const QString *rangeText = line(4 + j);
                if (!rangeText) break;
                // The first piece is the first offset, the last piece the
                // last; a line without ";" gives the same number to both.
                const QStringList pieces = rangeText->split(u';');
                ReadNumber(pieces.first(), ranges[j].First);
                ReadNumber(pieces.last(), ranges[j].Last);
            }
        }
    }
    return 0;
}

bool StateFiles::ListBrokenDownloads(QStringList &names, int &count) const
{
    QStringList found = QDir(m_folder).entryList({QStringLiteral("*.qvi")}, QDir::Files);
    if (found.isEmpty()) return false;
    std::sort(found.begin(), found.end(), [](const QString &a, const QString &b) {
        const qint64 numberA = LeadingNumber(a);
        const qint64 numberB = LeadingNumber(b);
        return numberA != numberB ? numberA < numberB : a < b;
    });
    if (found.size() > 100) found.resize(100);
    names = found;
    count = static_cast<int>(found.size());
    return true;
}

qint64 StateFiles::PartFileLength(const QString &fileName) const
{
    const QString path = PathOf(StripBlanks(fileName));
    // NewOnly creates the empty part file without ever truncating one that
    // another transfer creates at the same moment.
    QFile file(path);
    if (!QFileInfo::exists(path) && file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        file.close();
        return 0;
    }
    return QFileInfo(path).size();
}

void StateFiles::SplitIntoRanges(qint64 size, qint64 &partSize, QList<ByteRange> &ranges,
                                 int &partCount)
{
    ranges.clear();
    partCount = 0;
    if (partSize <= 0 || size <= 0) return;

    qint64 p = partSize;
    qint64 k = size / p;
    if (k * p < size) ++k;
    if (k > 10) {
        p = size / 10;
        k = size / p;
        // The second condition only matters below 100 bytes, where a part
        // size of size / 10 can still divide size into more than ten parts.
        if (k * p < size || k > 10) {
            p = size / 11 + 1;
            k = size / p;
        }
        partSize = p;
    }

    qint64 first = 0;
    for (qint64 j = 1; j <= k; ++j) {
        const qint64 last = j == k ? size - 1 : first + p - 1;
        ranges.append({first, last});
        first = last + 1;
    }
    partCount = static_cast<int>(k);
}

bool StateFiles::RangesCover(const QList<ByteRange> &ranges, qint64 size)
{
    if (ranges.isEmpty() || ranges.size() > 10 || size <= 0) return false;
    qint64 next = 0;
    for (const ByteRange &range : ranges) {
        if (range.First != next || range.Last < range.First) return false;
        next = range.Last + 1;
    }
    return next == size;
}

bool StateFiles::JoinPartFiles(const QStringList &parts, const QList<ByteRange> &ranges,
                               QString &target, QString *error,
                               const std::function<void()> &yield) const
{
    const auto fail = [error](const QString &why) {
        if (error) *error = why;
        return false;
    };
    if (parts.isEmpty() || parts.size() != ranges.size())
        return fail(
            QStringLiteral("%1 part files for %2 ranges").arg(parts.size()).arg(ranges.size()));
    // Every part must be complete before anything is written.
    for (qsizetype j = 0; j < parts.size(); ++j) {
        const QFileInfo info(parts[j]);
        if (!info.isFile()) return fail(QStringLiteral("part file %1 is missing").arg(parts[j]));
        if (info.size() != ranges[j].Length())
            return fail(QStringLiteral("part file %1 holds %2 bytes, its range %3")
                            .arg(parts[j])
                            .arg(info.size())
                            .arg(ranges[j].Length()));
    }

    QTemporaryFile joined(target + QStringLiteral(".join.XXXXXX"));
    if (!joined.open())
        return fail(QStringLiteral("cannot create %1: %2")
                        .arg(joined.fileTemplate(), joined.errorString()));
    QByteArray block;
    QElapsedTimer sinceYield;
    sinceYield.start();
    bool kernelCopy = true;
    qint64 written = 0; // bytes in joined
    for (qsizetype j = 0; j < parts.size(); ++j) {
        QFile part(parts[j]);
        if (!part.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot read %1: %2").arg(parts[j], part.errorString()));
        qint64 copied = 0;
        bool partCopied = false;
#ifdef Q_OS_LINUX
        // The kernel copies from file to file (on tmpfs and most file
        // systems without the bytes passing through here, on some by sharing
        // blocks); where it refuses, the copy goes on block by block below,
        // from where it stopped.
        while (kernelCopy) {
            const ssize_t n = ::copy_file_range(part.handle(), nullptr, joined.handle(), nullptr,
                                                size_t(JoinBlockSize), 0);
            if (n <= 0) {
                partCopied = n == 0;
                kernelCopy = partCopied;
                break;
            }
            copied += n;
            written += n;
            if (yield && sinceYield.hasExpired(JoinYieldMs)) {
                yield();
                sinceYield.restart();
            }
        }
        if (!partCopied && written > 0 && (!part.seek(copied) || !joined.seek(written)))
            return fail(
                QStringLiteral("cannot write %1: %2").arg(joined.fileName(), joined.errorString()));
#endif
        while (!partCopied && !part.atEnd()) {
            block = part.read(JoinBlockSize);
            if (block.isEmpty())
                return fail(QStringLiteral("cannot read %1: %2").arg(parts[j], part.errorString()));
            if (joined.write(block) != block.size())
                return fail(QStringLiteral("cannot write %1: %2")
                                .arg(joined.fileName(), joined.errorString()));
            copied += block.size();
            written += block.size();
            if (yield && sinceYield.hasExpired(JoinYieldMs)) {
                yield();
                sinceYield.restart();
            }
        }
        // The part may have changed since its length was checked.
        if (copied != ranges[j].Length())
            return fail(QStringLiteral("part file %1 changed while it was joined").arg(parts[j]));
    }
    if (!joined.flush())
        return fail(
            QStringLiteral("cannot write %1: %2").arg(joined.fileName(), joined.errorString()));
    joined.close();
    // A temporary file is private to its owner; the download is not.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(QFile::encodeName(joined.fileName()).constData(), 0666 & ~mask);

    // The first free name of the unique-name rule; the rename never replaces
    // a file, so a name taken in the meantime moves on to the next one. A name
    // a running transfer holds is taken too, though its file may not exist yet.
    const qsizetype nameStart = target.lastIndexOf(u'/') + 1;
    QString finalName = target;
    for (;;) {
        while (QFileInfo::exists(finalName) || LocalFileNames::IsHeld(finalName))
            finalName.insert(nameStart, u'A');
        if (QFile::rename(joined.fileName(), finalName)) break;
        if (!QFileInfo::exists(finalName))
            return fail(QStringLiteral("cannot rename %1 to %2").arg(joined.fileName(), finalName));
    }
    joined.setAutoRemove(false);
    target = finalName;
    for (const QString &part : parts)
        QFile::remove(part);
    return true;
}

bool StateFiles::SavedRowHasSource(const QString &row, const QString &source)
{
    // The saved row's columns: file name, progress, size, state, source, ...
    constexpr int SourceField = 4;
    const QString saved = row.section(QStringLiteral("<QVRL>"), SourceField, SourceField,
                                      QString::SectionCaseInsensitiveSeps);
    return StripBlanks(saved) == StripBlanks(source);
}

void StateFiles::RemoveDownload(qint64 number, const QString &source) const
{
    QString name = QString::number(number) + StateSuffix;
    QString row, length;
    int parts = 0;
    QList<ByteRange> ranges;
    if (ReadStateFile(name, row, length, parts, ranges) != 0) return;
    if (!SavedRowHasSource(row, source)) return;
    for (int j = 0; j < parts && j < 10; ++j)
        QFile::remove(PathOf(QString::number(number + j) + QStringLiteral(".qvp")));
    QFile::remove(PathOf(QString::number(number) + StateSuffix));
}

bool StateFiles::NumbersInUse(qint64 first, int count) const
{
    for (qint64 n = first; n < first + count; ++n) {
        const QString stem = PathOf(QString::number(n));
        if (QFileInfo::exists(stem + StateSuffix) ||
            QFileInfo::exists(stem + QStringLiteral(".qvp")))
            return true;
    }
    return false;
}

bool StateFiles::MoveToMarker(const QString &stateFileName) const
{
    const QString path = PathOf(StripBlanks(stateFileName));
    if (!path.endsWith(StateSuffix, Qt::CaseInsensitive) || !QFileInfo::exists(path)) return false;
    const QString marker = path.chopped(StateSuffix.size()) + MarkerSuffix;
    if (QFileInfo::exists(marker) && !QFile::remove(marker)) return false;
    return QFile::rename(path, marker);
}

bool StateFiles::DeleteAll() const
{
    QDir folder(m_folder);
    bool all = true;
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names)
        all = folder.remove(name) && all;
    return all;
}
