#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <initializer_list>
#include <memory>

class QSqlQuery;
struct sqlite3_stmt;

// One SQLite connection to the archive of finished downloads. A connection
// may only be used on the thread that opened it: the archive keeps one for
// the lookups on the main thread and one for the writes on its worker. A
// failure is not reported here; the owner reads Error() and reports it.
class ArchiveStore
{
public:
    // One finished file to record.
    struct Entry {
        QString Source;
        QString Path;
        qint64 Size = 0;
        QByteArray Sha256;
    };

    explicit ArchiveStore(const QString &path);
    ~ArchiveStore();
    ArchiveStore(const ArchiveStore &) = delete;
    ArchiveStore &operator=(const ArchiveStore &) = delete;

    // Opens the database on first use (creating the table and indexes).
    // False once it has failed; Error() then says why.
    bool Open();
    bool Failed() const { return m_failed; }
    QString Error() const { return m_error; }

    // True when a finished download of this source address is recorded.
    // Goes to SQLite directly through the connection's handle: a crawl asks
    // for every file address, and QSqlQuery costs several times more.
    bool Contains(const QString &source);
    // True when a recorded source address starts with prefix.
    bool ContainsPrefix(const QString &prefix);
    // Lookups between these share one read transaction (a snapshot): each
    // statement on its own would take and release the database's locks.
    // What other connections write meanwhile shows after EndRead.
    bool BeginRead();
    void EndRead();
    bool Reading() const { return m_reading; }
    // Records the entries in one transaction. earlier receives, per entry,
    // the local path of the earliest recorded other file with the same
    // content (empty: none), entries earlier in the same batch included.
    bool RecordBatch(const QList<Entry> &entries, QStringList *earlier);
    // Forgets every entry.
    bool Forget();
    // The number of entries (0 on failure).
    qint64 Count();

    // The SHA-256 of a file's content, empty when it cannot be read.
    static QByteArray HashFile(const QString &path);

private:
    bool Fail(const QString &reason);
    void FinishContains();
    // Runs a lookup prepared once (on first use) through SQLite's own
    // interface: true when it finds a row.
    bool Exists(sqlite3_stmt *&statement, const char *sql,
                std::initializer_list<QByteArray> values);
    bool Prepare(std::unique_ptr<QSqlQuery> &query, const char *statement);

    QString m_path;
    QString m_connection;
    QString m_error;
    // Statements prepared once while the database is open.
    sqlite3_stmt *m_contains = nullptr;
    sqlite3_stmt *m_containsPrefix = nullptr;
    std::unique_ptr<QSqlQuery> m_lookup;
    std::unique_ptr<QSqlQuery> m_insert;
    bool m_opened = false;
    bool m_failed = false;
    bool m_reading = false;
};
