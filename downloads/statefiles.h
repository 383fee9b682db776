#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// One part of a multi-part download: first and last byte offset, both
// inclusive, 0-based.
struct ByteRange {
    qint64 First = 0;
    qint64 Last = -1;
    qint64 Length() const { return Last - First + 1; }
    friend bool operator==(const ByteRange &, const ByteRange &) = default;
};

// The state of multi-part downloads on disk, in the temporary folder
// ("qvtemp"): the counter file "nextnumber.qvn" (4 bytes, the next free state
// number, signed 32-bit little-endian), state files "<n>.qvi" (text, CR LF:
// number, the row with its ten columns joined by "<QVRL>", the length text,
// the part count, one "first;last" line per part), part files "<m>.qvp" (the
// bytes of part m-n+1 received so far) and finished markers "<n>.dqvi".
class StateFiles
{
public:
    explicit StateFiles(const QString &tempFolder);

    QString Folder() const { return m_folder; }
    // The full path of a name inside the temporary folder (an absolute path
    // comes back unchanged).
    QString PathOf(const QString &name) const;

    // Reserves count consecutive state numbers and returns the first, in
    // decimal. While another holder has the counter locked it waits, letting
    // the event loop run (bounded; it never spins a core). A missing or short
    // counter file while state, part or marker files remain starts above the
    // highest number in use (1 in an empty folder); so does a counter whose
    // reservation would pass the 32-bit limit (numbering wraps round).
    QString GetNextNumber(int count);
    // True while another holder (process or object) holds the lock file of
    // path (the same name with ".lock" for its suffix: "nextnumber.lock" for
    // the counter); a file that merely cannot be written is not locked.
    bool IsFileLocked(const QString &path) const;

    // 0: written; 1: a state file of that number exists already, nothing was
    // written; 2: the file could not be written (nothing is left behind).
    int WriteStateFile(const QString &number, const QString &row, const QString &contentLength,
                       int partCount, const QList<ByteRange> &ranges);
    // 0: read (fileName becomes line 1, the state number); 1: no such file
    // (or one that cannot be opened), nothing changed. Lines 1-3 lose their
    // surrounding blanks. A line that cannot be read leaves its value as it was.
    int ReadStateFile(QString &fileName, QString &row, QString &contentLength, int &partCount,
                      QList<ByteRange> &ranges) const;
    // Up to 100 state file names ("17.qvi"), in order of their numbers; false
    // (count unchanged) when there is none.
    bool ListBrokenDownloads(QStringList &names, int &count) const;
    // The length of a part file (created empty when missing).
    qint64 PartFileLength(const QString &fileName) const;

    // Splits size bytes into at most ten ranges of partSize bytes (the last
    // takes the rest); partSize comes back changed when the cap applies.
    // Callers pass size >= partSize > 0.
    static void SplitIntoRanges(qint64 size, qint64 &partSize, QList<ByteRange> &ranges,
                                int &partCount);
    // True when 1..10 ranges cover 0..size-1 in order without gap or overlap.
    static bool RangesCover(const QList<ByteRange> &ranges, qint64 size);

    // Joins the part files (full paths, part order) into target: written under
    // a temporary name first, every write checked and every part file's
    // length compared with its range; then renamed to the first free name of
    // the unique-name rule ("A" in front of the file name while it exists),
    // which comes back in target, and the part files are deleted. A name
    // that a running transfer holds counts as taken. The joined file gets the
    // usual permissions of a new file. On any error the temporary file is
    // removed, the parts stay, target is unchanged and the result is false
    // with error set. yield, when given, is called now and then while a large
    // join runs, so that the program stays responsive.
    bool JoinPartFiles(const QStringList &parts, const QList<ByteRange> &ranges, QString &target,
                       QString *error = nullptr,
                       const std::function<void()> &yield = {}) const;
    // True when a saved row (line 2 of a state file) names source as its
    // source address (its fifth field; surrounding blanks do not count).
    static bool SavedRowHasSource(const QString &row, const QString &source);
    // Deletes the state file "<number>.qvi" and the part files it names, when
    // its saved row names source: a download that ended by another way no
    // longer needs them. A file of another source is left alone (a state
    // number kept in a list may name another download's files by now).
    void RemoveDownload(qint64 number, const QString &source) const;
    // True when a state file or part file of any of the count numbers from
    // first exists: those numbers hold another download's data. (A finished
    // marker holds none; its number may be used again.)
    bool NumbersInUse(qint64 first, int count) const;
    // Moves "<n>.qvi" to its finished marker "<n>.dqvi".
    bool MoveToMarker(const QString &stateFileName) const;
    // Deletes every file in the temporary folder (the "clear" answer).
    bool DeleteAll() const;

private:
    qint64 HighestNumberInUse() const;
    qint64 RestartNumber(int count) const;

    QString m_folder;
};
