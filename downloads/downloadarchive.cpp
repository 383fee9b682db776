#include "downloadarchive.h"

#include "archivestore.h"
#include "programfolder.h"
#include "questions.h"

#include <QFileInfo>
#include <QList>
#include <QPair>

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
            QList<ArchiveJob> jobs;
            {
                const std::lock_guard lock(m_queue->Mutex);
                if (m_queue->Jobs.isEmpty()) {
                    m_queue->Working = false;
                    return;
                }
                jobs.swap(m_queue->Jobs);
            }
            QList<ArchiveStore::Entry> entries;
            QList<quint64> ids;
            for (const ArchiveJob &job : jobs) {
                if (m_store.Failed()) break;
                QByteArray hash = ArchiveStore::HashFile(job.Path);
                if (hash.isEmpty()) continue;
                entries.append({job.Source, job.Path, QFileInfo(job.Path).size(), hash});
                ids.append(job.Id);
            }
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
    m_queue->Written.wait(lock, [this] { return m_queue->Finished >= m_queued; });
}

void DownloadArchive::EndRead()
{
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
