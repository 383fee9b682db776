#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QThread>
#include <functional>
#include <map>
#include <memory>

class ArchiveStore;
class ArchiveWorker;
class Questions;
struct ArchiveQueue;

// The archive of finished downloads: an SQLite database in the program
// folder with one entry per file that ended "Done" (source address, local
// path, size, time, SHA-256 of the content). A harvest asks it whether an
// address was fetched before; the engine hands it every finished file.
//
// Hashing and writing run on a worker thread with a connection of its own,
// so that a finished file costs the event loop next to nothing: Archive()
// queues a job, the worker hashes the files queued and writes them in one
// transaction per batch (whatever queued while the previous batch ran), and
// the answer (the earlier file of the same content) comes back to the main
// thread. Lookups use the main thread's connection. A database that cannot
// be used is reported once, on the main thread; the archive then answers
// "nothing known" and records nothing.
class DownloadArchive
{
public:
    static constexpr const char *FileName = "archive.sqlite";
    // The answer to a job: the local path of the earliest archived other
    // file with the same content, empty when there is none.
    using Answer = std::function<void(const QString &earlier)>;

    // folder is the program folder; questions hears of a database that
    // cannot be used. Nothing is opened and no thread started before the
    // first use.
    DownloadArchive(const QString &folder, Questions &questions);
    // Writes every queued job (their answers are dropped), then ends the worker.
    ~DownloadArchive();
    DownloadArchive(const DownloadArchive &) = delete;
    DownloadArchive &operator=(const DownloadArchive &) = delete;

    // The message shown once when the database cannot be used: %1 the
    // database file, %2 the reason.
    QString ProblemText = QStringLiteral("The archive of downloaded files %1 cannot be used (%2). "
                                         "The program goes on without it.");

    QString Path() const { return m_path; }
    // False once the database has failed (it is then left alone until the
    // program starts again).
    bool Usable();
    // True when a finished download of this source address is archived or
    // queued to be.
    bool Contains(const QString &source);
    // Queues a finished file: the worker hashes and records it. Once its
    // batch is written, answer runs on the main thread when an earlier file
    // has the same content, unless context (if given) is gone by then.
    void Archive(const QString &source, const QString &path, QObject *context, Answer answer);
    // Waits (the worker writes meanwhile) until every job queued so far is
    // written, then delivers their answers. Returns at once when none waits.
    void Flush();
    // Forgets every entry, after the queued jobs are written. False when the
    // database cannot be used.
    bool Forget();
    // The number of entries, queued jobs written first (0 when the database
    // cannot be used).
    qint64 Count();

private:
    struct Pending {
        QString Source;
        QPointer<QObject> Context;
        bool Guarded = false;
        Answer Reply;
    };

    // Waits until the worker is through with every job queued so far.
    void WaitForWorker();
    // Ends the lookups' read transaction.
    void EndRead();
    // Takes the worker's answers on the main thread.
    void Deliver(bool reply);
    // Reports the failure once and stops using the database.
    void Fail(const QString &reason);

    QString m_path;
    Questions &m_questions;
    std::unique_ptr<ArchiveStore> m_store;
    // Shared with the worker; every access holds its mutex.
    std::shared_ptr<ArchiveQueue> m_queue;
    QThread m_thread;
    ArchiveWorker *m_worker = nullptr;
    // Receives the worker's calls on the main thread.
    QObject m_receiver;
    std::map<quint64, Pending> m_pending;
    QHash<QString, int> m_pendingSources;
    // Folders (address prefixes) without archived addresses, within the
    // current read transaction.
    QSet<QString> m_emptyFolders;
    quint64 m_queued = 0;
    bool m_failed = false;
};
