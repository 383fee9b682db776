// The list-file reader: any file is read as a URL list and as a download list
// without harm; every row fits its list's columns; the rows read, saved and
// read again are the same rows (a field the writer has to clean comes back
// cleaned, and a field read from a list file never needs it); and a file path
// made from an address stays inside its target folder.
#include "downloadlistmodel.h"
#include "fuzzcheck.h"
#include "listfiles.h"
#include "urllistmodel.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <functional>

namespace
{
using Reader = std::function<QList<QStringList>(const QString &)>;

// One scratch folder for the whole run.
QString scratchPath(const char *name)
{
    static QTemporaryDir dir;
    return dir.filePath(QString::fromLatin1(name));
}

std::optional<QString> readBack(const QByteArray &bytes)
{
    const QString path = scratchPath("list.gfl");
    if (!ListFiles::WriteFile(path, bytes)) return std::nullopt;
    return ListFiles::ReadFile(path);
}

// Rows as the writer stores them.
QList<QStringList> cleaned(const QList<QStringList> &rows)
{
    QList<QStringList> out = rows;
    for (QStringList &row : out)
        for (QString &field : row)
            field = ListFiles::CleanField(field);
    return out;
}

// Saved and read again: the same rows, cleaned as the writer stores them;
// rows read from a list file come back exactly.
void checkRoundTrip(const QList<QStringList> &rows, const Reader &read, bool fromListFile)
{
    const std::optional<QString> text = readBack(ListFiles::Serialise(rows));
    FUZZ_CHECK(text.has_value());
    const QList<QStringList> again = read(*text);
    const QList<QStringList> expected = cleaned(rows);
    FUZZ_CHECK(again == expected);
    if (fromListFile) FUZZ_CHECK(expected == rows);
}

// One path component as a local file name may have it.
bool safeComponent(const QString &c)
{
    return !c.isEmpty() && c != QLatin1String(".") && c != QLatin1String("..") &&
           !c.contains(QLatin1Char('\\')) && !c.contains(QChar(0)) &&
           c.toUtf8().size() <= UrlRows::MaxNameBytes;
}

// folder/host/name: exactly two safe components below the folder.
void checkPath(const QString &path, const QString &folder)
{
    FUZZ_CHECK(path.startsWith(folder));
    const QStringList parts = path.mid(folder.size()).split(QLatin1Char('/'));
    FUZZ_CHECK(parts.size() == 2);
    FUZZ_CHECK(safeComponent(parts[0]) && safeComponent(parts[1]));
}

void checkDownloadList(const QString &text, const UrlRows::AddressRowOptions &options,
                       const QString &folder)
{
    const ListFiles::DownloadRows rows = ListFiles::DownloadListRows(text, options);
    const ListFiles::Lines lines = ListFiles::SplitLines(text);
    FUZZ_CHECK(rows.StartEnabled == lines.SeveralPieces);
    FUZZ_CHECK(rows.Rows.size() <= lines.Items.size());
    const bool listFile = !lines.Items.isEmpty() &&
                          lines.Items.first().contains(ListFiles::Separator(), Qt::CaseInsensitive);
    for (const QStringList &row : rows.Rows) {
        // Ten columns and the failure reason at most.
        FUZZ_CHECK(row.size() >= 2 && row.size() <= DownloadListModel::DownloadColumnCount + 1);
        if (listFile) continue;
        FUZZ_CHECK(row.size() == DownloadListModel::DownloadColumnCount);
        checkPath(row[DownloadListModel::ColFilename], folder);
        FUZZ_CHECK(safeComponent(row[DownloadListModel::ColMainURL]));
    }
    checkRoundTrip(
        rows.Rows, [&](const QString &t) { return ListFiles::DownloadListRows(t, options).Rows; },
        listFile);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = scratchPath("input.gfl");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    const std::optional<QString> text = ListFiles::ReadFile(path);
    FUZZ_CHECK(text.has_value());

    const QList<QStringList> urlRows = ListFiles::UrlListRows(*text);
    for (const QStringList &row : urlRows)
        FUZZ_CHECK(row.size() >= 2 && row.size() <= UrlListModel::UrlColumnCount);
    checkRoundTrip(urlRows, &ListFiles::UrlListRows, true);

    // With a typed target folder, and without one (paths relative to the
    // program's download folder).
    checkDownloadList(*text, {QStringLiteral(" /dl/ "), QStringLiteral("/dl/"), 7, true},
                      QStringLiteral("/dl/"));
    checkDownloadList(*text, {}, QString());
    return 0;
}
