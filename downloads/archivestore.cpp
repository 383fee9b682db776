#include "archivestore.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <openssl/evp.h>
#include <sqlite3.h>

namespace
{

// Every store has a connection of its own, so that the main thread and the
// worker (and tests and tools) may open several side by side.
QAtomicInt connectionCounter;

// How long a statement waits for another connection's lock before it fails.
constexpr int BusyTimeoutMs = 2000;
// Blocks in which a file is read to hash it.
constexpr qint64 HashBlock = 1 << 20;

QString ErrorOf(const QSqlQuery &query)
{
    return query.lastError().text();
}

} // namespace

ArchiveStore::ArchiveStore(const QString &path)
    : m_path(path),
      m_connection(
          QStringLiteral("quarvel-archive-%1").arg(connectionCounter.fetchAndAddRelaxed(1)))
{
}

ArchiveStore::~ArchiveStore()
{
    EndRead();
    FinishContains();
    m_lookup.reset();
    m_insert.reset();
    if (!QSqlDatabase::contains(m_connection)) return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

bool ArchiveStore::Open()
{
    if (m_failed) return false;
    if (m_opened) return true;
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        return Fail(QStringLiteral("Qt's SQLite driver is not installed"));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(m_path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
    if (!db.open()) return Fail(db.lastError().text());
    // The schema is read here first: a damaged file or a lock held by
    // another program shows at once. Both lookups go by index.
    QSqlQuery q(db);
    for (const char *statement : {
             "PRAGMA journal_mode=WAL",
             "PRAGMA synchronous=NORMAL",
             "PRAGMA mmap_size=268435456",
             "CREATE TABLE IF NOT EXISTS files (source TEXT NOT NULL, path TEXT NOT NULL, "
             "size INTEGER NOT NULL, finished TEXT NOT NULL, sha256 BLOB NOT NULL)",
             "CREATE INDEX IF NOT EXISTS files_source ON files (source)",
             "CREATE INDEX IF NOT EXISTS files_sha256 ON files (sha256)",
         }) {
        if (!q.exec(QString::fromLatin1(statement))) return Fail(ErrorOf(q));
    }
    m_opened = true;
    return true;
}

bool ArchiveStore::Fail(const QString &reason)
{
    if (m_failed) return false;
    m_failed = true;
    m_opened = false;
    m_reading = false;
    m_error = reason;
    FinishContains();
    m_lookup.reset();
    m_insert.reset();
    if (QSqlDatabase::contains(m_connection)) {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        if (db.isOpen()) {
            db.rollback();
            db.close();
        }
    }
    return false;
}

bool ArchiveStore::Prepare(std::unique_ptr<QSqlQuery> &query, const char *statement)
{
    if (query) return true;
    query = std::make_unique<QSqlQuery>(QSqlDatabase::database(m_connection, false));
    if (query->prepare(QString::fromLatin1(statement))) return true;
    const QString reason = ErrorOf(*query);
    query.reset();
    return Fail(reason);
}

void ArchiveStore::FinishContains()
{
    for (sqlite3_stmt **statement : {&m_contains, &m_containsPrefix}) {
        if (*statement) sqlite3_finalize(*statement);
        *statement = nullptr;
    }
}

bool ArchiveStore::Exists(sqlite3_stmt *&statement, const char *sql,
                          std::initializer_list<QByteArray> values)
{
    if (!Open()) return false;
    if (!statement) {
        const QVariant handle = QSqlDatabase::database(m_connection, false).driver()->handle();
        sqlite3 *db = handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0
                          ? *static_cast<sqlite3 *const *>(handle.constData())
                          : nullptr;
        if (!db) return Fail(QStringLiteral("no SQLite handle"));
        if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK)
            return Fail(QString::fromUtf8(sqlite3_errmsg(db)));
    }
    int column = 0;
    for (const QByteArray &value : values)
        sqlite3_bind_text(statement, ++column, value.constData(), int(value.size()), SQLITE_STATIC);
    const int rc = sqlite3_step(statement);
    sqlite3_reset(statement);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    return Fail(QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(statement))));
}

bool ArchiveStore::Contains(const QString &source)
{
    return Exists(m_contains, "SELECT 1 FROM files WHERE source = ? LIMIT 1", {source.toUtf8()});
}

bool ArchiveStore::ContainsPrefix(const QString &prefix)
{
    // Every text that starts with the prefix sorts from the prefix up to the
    // prefix with its last character raised by one (the index compares bytes).
    QByteArray from = prefix.toUtf8();
    if (from.isEmpty()) return true;
    QByteArray to = from;
    to.back() = char(to.back() + 1);
    return Exists(m_containsPrefix, "SELECT 1 FROM files WHERE source >= ? AND source < ? LIMIT 1",
                  {from, to});
}

bool ArchiveStore::BeginRead()
{
    if (m_reading) return true;
    if (!Open()) return false;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction()) return Fail(db.lastError().text());
    m_reading = true;
    return true;
}

void ArchiveStore::EndRead()
{
    if (!m_reading) return;
    m_reading = false;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.commit()) Fail(db.lastError().text());
}

bool ArchiveStore::RecordBatch(const QList<Entry> &entries, QStringList *earlier)
{
    if (!Open() ||
        !Prepare(m_lookup, "SELECT path FROM files WHERE sha256 = ? AND path <> ? ORDER BY "
                           "rowid LIMIT 1") ||
        !Prepare(m_insert, "INSERT INTO files (source, path, size, finished, sha256) VALUES "
                           "(?, ?, ?, ?, ?)"))
        return false;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction()) return Fail(db.lastError().text());
    const QString finished = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    for (const Entry &entry : entries) {
        QSqlQuery &lookup = *m_lookup;
        lookup.bindValue(0, entry.Sha256);
        lookup.bindValue(1, entry.Path);
        if (!lookup.exec()) return Fail(ErrorOf(lookup));
        if (earlier) *earlier << (lookup.next() ? lookup.value(0).toString() : QString());
        lookup.finish();
        QSqlQuery &insert = *m_insert;
        insert.bindValue(0, entry.Source);
        insert.bindValue(1, entry.Path);
        insert.bindValue(2, entry.Size);
        insert.bindValue(3, finished);
        insert.bindValue(4, entry.Sha256);
        if (!insert.exec()) return Fail(ErrorOf(insert));
        insert.finish();
    }
    if (!db.commit()) return Fail(db.lastError().text());
    return true;
}

bool ArchiveStore::Forget()
{
    if (!Open()) return false;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (!q.exec(QStringLiteral("DELETE FROM files"))) return Fail(ErrorOf(q));
    return true;
}

qint64 ArchiveStore::Count()
{
    if (!Open()) return 0;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM files"))) {
        Fail(ErrorOf(q));
        return 0;
    }
    return q.next() ? q.value(0).toLongLong() : 0;
}

QByteArray ArchiveStore::HashFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    // OpenSSL's SHA-256 uses the processor's SHA and vector instructions:
    // several times faster than a portable one.
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> hash(EVP_MD_CTX_new(),
                                                                 &EVP_MD_CTX_free);
    if (!hash || EVP_DigestInit_ex(hash.get(), EVP_sha256(), nullptr) != 1) return {};
    QByteArray block(HashBlock, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(block.data(), block.size());
        if (n < 0) return {};
        if (n == 0) break;
        if (EVP_DigestUpdate(hash.get(), block.constData(), size_t(n)) != 1) return {};
    }
    QByteArray digest(EVP_MAX_MD_SIZE, Qt::Uninitialized);
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(hash.get(), reinterpret_cast<unsigned char *>(digest.data()), &length) !=
        1)
        return {};
    digest.truncate(int(length));
    return digest;
}
