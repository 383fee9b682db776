#include "downloadarchive.h"

#include "programfolder.h"
#include "questions.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <memory>
#include <openssl/evp.h>

namespace
{

// Every archive object has a connection of its own, so that tests and tools
// may open several side by side.
QAtomicInt connectionCounter;

// How long a statement waits for another program's lock before it fails.
constexpr int BusyTimeoutMs = 2000;
// Blocks of a hashed file, and how many of them pass between two yields.
constexpr qint64 HashBlock = 1 << 20;
constexpr int BlocksPerYield = 16;

QString ErrorOf(const QSqlQuery &query)
{
    return query.lastError().text();
}

} // namespace

DownloadArchive::DownloadArchive(const QString &folder, Questions &questions)
    : m_path(ProgramFolder::Join(folder, QString::fromLatin1(FileName))),
      m_connection(
          QStringLiteral("quarvel-archive-%1").arg(connectionCounter.fetchAndAddRelaxed(1))),
      m_questions(questions)
{
}

DownloadArchive::~DownloadArchive()
{
    m_lookup.reset();
    m_insert.reset();
    if (!QSqlDatabase::contains(m_connection)) return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

bool DownloadArchive::Usable()
{
    return Open();
}

bool DownloadArchive::Open()
{
    if (m_failed) return false;
    if (m_opened) return true;
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
        Fail(QStringLiteral("Qt's SQLite driver is not installed"));
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(m_path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
    if (!db.open()) {
        Fail(db.lastError().text());
        return false;
    }
    // The schema is read here first: a damaged file or a lock held by
    // another program shows at once. Both lookups go by index.
    QSqlQuery q(db);
    for (const char *statement : {
             "PRAGMA journal_mode=WAL",
             "PRAGMA synchronous=NORMAL",
             "CREATE TABLE IF NOT EXISTS files (source TEXT NOT NULL, path TEXT NOT NULL, "
             "size INTEGER NOT NULL, finished TEXT NOT NULL, sha256 BLOB NOT NULL)",
             "CREATE INDEX IF NOT EXISTS files_source ON files (source)",
             "CREATE INDEX IF NOT EXISTS files_sha256 ON files (sha256)",
         }) {
        if (!q.exec(QString::fromLatin1(statement))) {
            Fail(ErrorOf(q));
            return false;
        }
    }
    m_opened = true;
    return true;
}

void DownloadArchive::Fail(const QString &reason)
{
    if (m_failed) return;
    m_failed = true;
    m_opened = false;
    m_lookup.reset();
    m_insert.reset();
    if (QSqlDatabase::contains(m_connection)) {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        if (db.isOpen()) {
            db.rollback();
            db.close();
        }
    }
    m_questions.Message(ProblemText.arg(m_path, reason), Questions::Buttons::Ok,
                        Questions::Icon::Warning);
}

bool DownloadArchive::Contains(const QString &source)
{
    if (!Open()) return false;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("SELECT 1 FROM files WHERE source = ? LIMIT 1"));
    q.addBindValue(source);
    if (!q.exec()) {
        Fail(ErrorOf(q));
        return false;
    }
    return q.next();
}

QString DownloadArchive::Record(const QString &source, const QString &path, qint64 size,
                                const QByteArray &sha256)
{
    if (!Open()) return {};
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction()) {
        Fail(db.lastError().text());
        return {};
    }
    if (!m_lookup) {
        // Prepared once: a harvest records thousands of small files.
        m_lookup = std::make_unique<QSqlQuery>(db);
        m_insert = std::make_unique<QSqlQuery>(db);
        if (!m_lookup->prepare(QStringLiteral("SELECT path FROM files WHERE sha256 = ? AND "
                                              "path <> ? ORDER BY rowid LIMIT 1")) ||
            !m_insert->prepare(QStringLiteral("INSERT INTO files (source, path, size, "
                                              "finished, sha256) VALUES (?, ?, ?, ?, ?)"))) {
            Fail(ErrorOf(m_lookup->lastError().isValid() ? *m_lookup : *m_insert));
            return {};
        }
    }
    QSqlQuery &lookup = *m_lookup;
    lookup.bindValue(0, sha256);
    lookup.bindValue(1, path);
    if (!lookup.exec()) {
        Fail(ErrorOf(lookup));
        return {};
    }
    const QString earlier = lookup.next() ? lookup.value(0).toString() : QString();
    lookup.finish();
    QSqlQuery &insert = *m_insert;
    insert.bindValue(0, source);
    insert.bindValue(1, path);
    insert.bindValue(2, size);
    insert.bindValue(3, QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    insert.bindValue(4, sha256);
    if (!insert.exec()) {
        Fail(ErrorOf(insert));
        return {};
    }
    insert.finish();
    if (!db.commit()) {
        Fail(db.lastError().text());
        return {};
    }
    return earlier;
}

bool DownloadArchive::Forget()
{
    if (!Open()) return false;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (!q.exec(QStringLiteral("DELETE FROM files"))) {
        Fail(ErrorOf(q));
        return false;
    }
    return true;
}

qint64 DownloadArchive::Count()
{
    if (!Open()) return 0;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM files"))) {
        Fail(ErrorOf(q));
        return 0;
    }
    return q.next() ? q.value(0).toLongLong() : 0;
}

QByteArray DownloadArchive::HashFile(const QString &path, const std::function<void()> &yield)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    // OpenSSL's SHA-256 uses the processor's SHA and vector instructions:
    // several times faster than a portable one, which matters when every
    // small picture of a harvest is hashed on the way to "Done".
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> hash(EVP_MD_CTX_new(),
                                                                 &EVP_MD_CTX_free);
    if (!hash || EVP_DigestInit_ex(hash.get(), EVP_sha256(), nullptr) != 1) return {};
    QByteArray block(HashBlock, Qt::Uninitialized);
    for (int blocks = 1;; ++blocks) {
        const qint64 n = file.read(block.data(), block.size());
        if (n < 0) return {};
        if (n == 0) break;
        if (EVP_DigestUpdate(hash.get(), block.constData(), size_t(n)) != 1) return {};
        if (yield && blocks % BlocksPerYield == 0) yield();
    }
    QByteArray digest(EVP_MAX_MD_SIZE, Qt::Uninitialized);
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(hash.get(), reinterpret_cast<unsigned char *>(digest.data()),
                           &length) != 1)
        return {};
    digest.truncate(int(length));
    return digest;
}
