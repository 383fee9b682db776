#include "downloadarchive.h"

#include "archivestore.h"
#include "programfolder.h"
#include "questions.h"

#include <QFileInfo>
#include <QList>
#include <QPair>

#include <chrono>
#include <condition_variable>
#include <mutex>

// One finished file for the worker.
struct ArchiveJob {
    quint64 Id = 0;
    QString Source;
    QString Path;
};

// What the main thread and the worker share: the jobs to do, the answers to
// take and how far the worker has come. Every access holds Mutex.
struct ArchiveQueue {
    // The standard library's types, which thread checkers see through.
    std::mutex Mutex;
    // Signalled whenever the worker is through with a batch.
    std::condition_variable Written;
    // Signalled when the main thread waits for the worker (Hurry).
    std::condition_variable Hurried;
    // The main thread waits: no batch waits for more files.
    bool Hurry = false;
    QList<ArchiveJob> Jobs;
    // A call of the worker's Work is queued or running.
    bool Working = false;
    // Per job of a written batch whose content was archived before: the
    // earlier file.
    QList<QPair<quint64, QString>> Answers;
    // A delivery to the main thread is queued.
    bool Answering = false;
    // The id of the last job the worker is through with (ids rise by one).
    quint64 Finished = 0;
    // Why the worker's connection failed; taken by the main thread.
    QString Failure;
};

// A batch takes no more jobs once it holds this many.
constexpr qsizetype MaxBatch = 500;
// How long a batch waits for more jobs once the queue is empty.
constexpr std::chrono::milliseconds GatherWindow{10};

// Lives on the archive's thread; its connection is opened, used and closed
// there (it is deleted there when the thread ends).
class ArchiveWorker : public QObject
{
public:
    ArchiveWorker(const QString &path, std::shared_ptr<ArchiveQueue> queue,
                  std::function<void()> wake)
        : m_store(path), m_queue(std::move(queue)), m_wake(std::move(wake))
    {
    }

    // Takes batches until the queue is empty.
    void Work()
    {
        for (;;) {
            // A batch: the jobs queued now, and those that queue while these
            // are hashed (small files finish faster than a transaction).
            QList<ArchiveJob> jobs;
            QList<ArchiveStore::Entry> entries;
            QList<quint64> ids;
            bool waited = false;
            for (;;) {
                QList<ArchiveJob> more;
                {
                    std::unique_lock lock(m_queue->Mutex);
                    if (m_queue->Jobs.isEmpty() && !jobs.isEmpty() && !waited) {
                        // A small batch waits a moment for the files about to
                        // finish: a transaction and an answer for every file
                        // or two would cost more than the files themselves.
                        waited = true;
                        m_queue->Hurried.wait_for(lock, GatherWindow,
                                                  [this] { return m_queue->Hurry; });
                    }
                    if (m_queue->Jobs.isEmpty() && jobs.isEmpty()) m_queue->Working = false;
                    if (m_queue->Jobs.isEmpty() || jobs.size() >= MaxBatch) break;
                    more.swap(m_queue->Jobs);
                }
                for (const ArchiveJob &job : more) {
                    if (m_store.Failed()) break;
                    QByteArray hash = ArchiveStore::HashFile(job.Path);
                    if (hash.isEmpty()) continue;
                    entries.append({job.Source, job.Path, QFileInfo(job.Path).size(), hash});
                    ids.append(job.Id);
                }
                jobs.append(more);
            }
            if (jobs.isEmpty()) return;
            QStringList earlier;
            const bool written = !entries.isEmpty() && m_store.RecordBatch(entries, &earlier);
            bool wake = false;
            {
                const std::lock_guard lock(m_queue->Mutex);
                if (written) {
                    for (int i = 0; i < ids.size(); ++i)
                        if (!earlier[i].isEmpty()) m_queue->Answers.append({ids[i], earlier[i]});
                }
                if (m_store.Failed() && m_queue->Failure.isEmpty() && !m_failureSent) {
                    m_queue->Failure = m_store.Error();
                    m_failureSent = true;
                }
                m_queue->Finished = jobs.last().Id;
                wake = !m_queue->Answering;
                m_queue->Answering = true;
                m_queue->Written.notify_all();
            }
            if (wake) m_wake();
        }
    }

private:
    ArchiveStore m_store;
    std::shared_ptr<ArchiveQueue> m_queue;
    std::function<void()> m_wake;
    bool m_failureSent = false;
};

DownloadArchive::DownloadArchive(const QString &folder, Questions &questions)
    : m_path(ProgramFolder::Join(folder, QString::fromLatin1(FileName))), m_questions(questions),
      m_store(std::make_unique<ArchiveStore>(m_path)), m_queue(std::make_shared<ArchiveQueue>())
{
    m_thread.setObjectName(QStringLiteral("archive"));
}

DownloadArchive::~DownloadArchive()
{
    if (!m_worker) return;
    // Whatever is queued is written before the program goes on; nobody is
    // left to hear the answers.
    WaitForWorker();
    Deliver(false);
    m_thread.quit();
    m_thread.wait();
}

bool DownloadArchive::Usable()
{
    if (m_failed) return false;
    if (m_store->Open()) return true;
    Fail(m_store->Error());
    return false;
}

void DownloadArchive::Fail(const QString &reason)
{
    if (m_failed) return;
    m_failed = true;
    m_questions.Message(ProblemText.arg(m_path, reason), Questions::Buttons::Ok,
                        Questions::Icon::Warning);
}

bool DownloadArchive::Contains(const QString &source)
{
    if (!Usable()) return false;
    if (m_pendingSources.contains(source)) return true;
    // The lookups share one read transaction (each statement would take and
    // release the database's locks on its own); it ends whenever the worker
    // has written, so that what it wrote shows.
    m_store->BeginRead();
    // A folder of the address without any archived address is remembered for
    // as long as the read transaction lasts (nothing can change within it):
    // the other addresses of a new gallery are answered without a lookup.
    const QString folder = source.left(source.lastIndexOf(QLatin1Char('/')) + 1);
    if (!folder.isEmpty() && m_store->Reading()) {
        if (m_emptyFolders.contains(folder)) return false;
        if (!m_store->ContainsPrefix(folder)) {
            if (m_store->Failed()) Fail(m_store->Error());
            m_emptyFolders.insert(folder);
            return false;
        }
    }
    const bool found = m_store->Contains(source);
    if (m_store->Failed()) Fail(m_store->Error());
    return found;
}

void DownloadArchive::Archive(const QString &source, const QString &path, QObject *context,
                              Answer answer)
{
    if (!Usable()) return;
    if (!m_worker) {
        // Its connection is opened by the first batch, on the thread.
        m_worker = new ArchiveWorker(m_path, m_queue, [this] {
            QMetaObject::invokeMethod(
                &m_receiver, [this] { Deliver(true); }, Qt::QueuedConnection);
        });
        m_worker->moveToThread(&m_thread);
        QObject::connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
        m_thread.start();
    }
    const quint64 id = ++m_queued;
    m_pending.emplace(id, Pending{source, context, context != nullptr, std::move(answer)});
    ++m_pendingSources[source];
    bool start = false;
    {
        const std::lock_guard lock(m_queue->Mutex);
        m_queue->Jobs.append({id, source, path});
        start = !m_queue->Working;
        m_queue->Working = true;
    }
    if (start) {
        ArchiveWorker *worker = m_worker;
        QMetaObject::invokeMethod(
            worker, [worker] { worker->Work(); }, Qt::QueuedConnection);
    }
}

void DownloadArchive::WaitForWorker()
{
    if (!m_worker) return;
    // The worker never waits for this thread, so this wait ends once it has
    // hashed and written what is queued.
    std::unique_lock lock(m_queue->Mutex);
    m_queue->Hurry = true;
    m_queue->Hurried.notify_all();
    m_queue->Written.wait(lock, [this] { return m_queue->Finished >= m_queued; });
    m_queue->Hurry = false;
}

void DownloadArchive::EndRead()
{
    m_emptyFolders.clear();
    m_store->EndRead();
    if (m_store->Failed()) Fail(m_store->Error());
}

void DownloadArchive::Deliver(bool reply)
{
    // Lookups after the answers must see what the worker wrote.
    EndRead();
    QList<QPair<quint64, QString>> answers;
    QString failure;
    quint64 finished = 0;
    {
        const std::lock_guard lock(m_queue->Mutex);
        answers.swap(m_queue->Answers);
        failure.swap(m_queue->Failure);
        finished = m_queue->Finished;
        m_queue->Answering = false;
    }
    QHash<quint64, QString> earlier;
    for (const auto &[id, path] : answers)
        earlier.insert(id, path);
    // Jobs are finished in the order they were queued. The answers run once
    // the bookkeeping is done: they may queue new jobs.
    QList<QPair<Answer, QString>> replies;
    while (!m_pending.empty() && m_pending.begin()->first <= finished) {
        const auto first = m_pending.begin();
        const Pending &pending = first->second;
        auto source = m_pendingSources.find(pending.Source);
        if (source != m_pendingSources.end() && --source.value() == 0)
            m_pendingSources.erase(source);
        const QString path = earlier.value(first->first);
        if (reply && !path.isEmpty() && pending.Reply && (!pending.Guarded || pending.Context))
            replies.append({pending.Reply, path});
        m_pending.erase(first);
    }
    for (const auto &[answer, path] : replies)
        answer(path);
    if (reply && !failure.isEmpty()) Fail(failure);
}

void DownloadArchive::Flush()
{
    WaitForWorker();
    Deliver(true);
}

bool DownloadArchive::Forget()
{
    if (!Usable()) return false;
    // With the worker idle and this thread here, nothing is written meanwhile.
    Flush();
    if (m_store->Forget()) return true;
    Fail(m_store->Error());
    return false;
}

qint64 DownloadArchive::Count()
{
    if (!Usable()) return 0;
    Flush();
    const qint64 count = m_store->Count();
    if (m_store->Failed()) Fail(m_store->Error());
    return count;
}
