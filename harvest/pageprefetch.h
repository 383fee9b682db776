#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <functional>

#include <memory>
#include <vector>

class Quarvel;

// Fetches the crawl's next pages ahead, several at once, into temporary
// files the crawl then reads. It decides nothing: the crawl names the pages
// it may visit next (Want) and takes each page when it reaches it (Request,
// then Result); pages it never reaches cost a request and are removed.
class PagePrefetch : public QObject
{
    Q_OBJECT
public:
    // Page files go to tempFolder, named after stamp.
    PagePrefetch(const QString &tempFolder, const QString &stamp, QObject *parent = nullptr);
    ~PagePrefetch() override;

    // How many fetches run at once (besides the one the crawl waits for).
    int MaxRunning = 4;
    // How many pages may be fetched ahead and not yet taken, running or done.
    int MaxAhead = 16;
    // Extra request lines for the page fetches (the browser's login).
    std::function<QList<QByteArray>(const QString &)> ExtraHeaderLines;
    // Whether the fetches keep their connections to a server for the next.
    bool KeepConnections = false;

    // One page as fetched: its final address, Content-Type and file, or why
    // it failed.
    struct Result {
        bool Done = false;
        QString FinalAddress;
        QString ContentType;
        QString File;
        QString Failure;
        // The answer's status and Retry-After field (a server that asks to wait).
        int Status = 0;
        QString RetryAfter;
    };
    // Whether a page may be fetched ahead now; unset: always. A page it
    // refuses stays queued and starts when the crawl reaches it.
    std::function<bool(const QString &address)> MayFetch;

    // The pages the crawl may visit next, in its order; they go before every
    // page wanted earlier, so the deepest page's links are fetched first.
    void Want(const QStringList &addresses);
    // The crawl has reached address: its fetch starts now unless it runs or
    // has ended already.
    void Request(const QString &address);
    // Whether address's fetch has ended (finished or failed).
    bool Ended(const QString &address) const;
    // The ended fetch of address, handed over: the caller reads and removes
    // the file. Afterwards the prefetch forgets the address.
    Result Take(const QString &address);
    // The page is no longer wanted: its fetch stops, its file goes.
    void Drop(const QString &address);
    // Stops every fetch and removes every file not taken.
    void Clear();

    int Running() const;
    // Addresses wanted, running or fetched and not yet taken.
    int Pending() const { return int(m_entries.size()); }

signals:
    // A fetch has ended.
    void PageEnded();

private:
    struct Entry {
        enum class State { Queued, Running, Ended } state = State::Queued;
        int fetcher = -1;
        // Which push onto the stack is this entry's live one.
        quint64 queuedAt = 0;
        Result result;
    };
    void StartNext();
    void Start(const QString &address, Entry &entry);
    // A fetcher's transfer has ended; failure is empty when it finished.
    void FetchEnded(int fetcher, const QString &failure);
    int FreeFetcher();

    QString m_tempFolder;
    QString m_stamp;
    int m_fileNumber = 0;
    QHash<QString, Entry> m_entries;
    // Fetches ended and not yet taken.
    int m_ended = 0;
    // The page the crawl waits for (Request) and has not taken yet.
    QString m_awaited;
    // Queued addresses, the next one to start on top; a place is stale when
    // its address was wanted again later (or is no longer queued), so that
    // wanting an address again costs no search.
    struct Place {
        QString address;
        quint64 queuedAt;
    };
    std::vector<Place> m_stack;
    quint64 m_queueCount = 0;
    std::vector<std::unique_ptr<Quarvel>> m_fetchers;
    // The address each fetcher serves; empty when it is free.
    std::vector<QString> m_serving;
};
