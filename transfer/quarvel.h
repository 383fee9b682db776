#pragma once

#include "dornex_export.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QTcpSocket;
class TransferJob;

// Quarvel: one HTTP/1.1 transfer of one address into one local file (GET) or a
// report of the response header (HEAD), over TLS for "https://" addresses,
// announced through events. An instance runs one transfer at a time and can be
// reused for any number of them.
class DORNEX_EXPORT Quarvel : public QObject
{
    Q_OBJECT
public:
    explicit Quarvel(QObject *parent = nullptr);
    ~Quarvel() override;

    // Starts a transfer. Returns false (and raises nothing) only when the local
    // file name is empty or has no folder part; every later problem arrives as
    // Failed, never from inside this call.
    bool StartDownload(const QString &strURL, const QString &strLocalFile, qint64 lMinSize,
                       bool HEADorGET, qint64 LocalStartRange, qint64 LocalEndRange, bool DoAppend,
                       const QString &LocalReferer);
    // Trusts the PEM certificates in pemFile (one or more) for every secure
    // transfer of this process from now on, besides the system's trusted
    // certificates. Returns the number added (0 when the file cannot be read
    // or holds none). Verification itself can never be turned off.
    static int AddTrustedCertificates(const QString &pemFile);

    // Stops the running transfer, if any. Raises no event.
    void AbortDownload();
    // Stops the running transfer like AbortDownload, without yielding to the
    // event loop: for hosts that stop several transfers in one step.
    void Cancel();

    // The address the current or last transfer finally fetched, after
    // redirects ("http://host/path" or "https://host/path"); empty before the
    // first transfer.
    QString FinalURL() const;
    // The local file the current or last transfer writes to (after the
    // unique-name rule).
    QString LocalFile() const;
    // The Content-Type of the last GET response the transfer accepted (the
    // crawl reads the page's character set from it); empty before one.
    QString ContentType() const;
    // The status of the last final answer of the current or last transfer
    // (0 before one) and its Retry-After field (empty when it has none): a
    // host can tell a server that asks to wait from one that failed.
    int StatusCode() const;
    QString RetryAfter() const;
    // True from StartDownload until the transfer ends in any way.
    bool IsBusy() const;
    // True when the current or last transfer created its local file itself
    // (DoAppend false and the body begun): a host that drops a failed
    // download may then delete the file without touching anyone else's.
    bool CreatedLocalFile() const;

    // Free text the host keeps with the instance ("idle", "working", a row).
    QString Tag;

    // Extra request lines for an address ("Name: value", no line end).
    using ExtraHeaderLines = std::function<QList<QByteArray>(const QString &address)>;
    // Every request of the transfers started from now on (redirects
    // included) asks lines for the address it fetches and sends them after
    // its fixed lines; CR and LF never reach the request. An empty function
    // (the default) adds nothing.
    void SetExtraHeaderLines(ExtraHeaderLines lines);
    // Keeping connections (off by default). When on, the request goes out
    // without "Connection: close", over an idle connection to the same server
    // (scheme, name and port) when the process has one, and the connection
    // is kept for the next transfer of any control when the answer ended by
    // its length or its last chunk and the server keeps it open. A request
    // whose kept connection the server had closed, before any byte of an
    // answer, is sent once more on a new connection. Events are the same
    // either way. Idle connections close after a few seconds; the process
    // keeps at most as many as it has controls with this setting on.
    void SetKeepConnections(bool keep);
    bool KeepConnections() const;

    // Time limits, in milliseconds; tests shorten them.
    void SetConnectTimeout(int ms);
    void SetStallTimeout(int ms);
    int ConnectTimeout() const;
    int StallTimeout() const;

signals:
    void Started();
    void Progress(qint64 BytesLoaded, qint64 FileSize);
    void Finished();
    void TooSmall();
    void Header(int StatusCode, const QString &AcceptRanges, const QString &ContentType,
                const QString &ContentLength, const QString &URLReferer);
    void Failed(const QString &Reason);

private:
    friend class TransferJob;
    // Ends the current job, if any, and lets it go.
    void RetireJob();
    std::unique_ptr<TransferJob> m_job;
    int m_connectTimeoutMs = 30000;
    int m_stallTimeoutMs = 60000;
    ExtraHeaderLines m_extraHeaderLines;
    bool m_keepConnections = false;
};
