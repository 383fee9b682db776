#include "quarvel.h"

#include "connectionpool.h"
#include "localfilenames.h"
#include "tlssessions.h"
#include "transferjob.h"

#include <QCoreApplication>

Quarvel::Quarvel(QObject *parent) : QObject(parent), Tag(QStringLiteral("idle")) {}

Quarvel::~Quarvel()
{
    RetireJob();
    SetKeepConnections(false);
}

void Quarvel::RetireJob()
{
    if (!m_job) return;
    // A job whose event handler is still running (perhaps waiting in a nested
    // event loop) finishes unwinding first and deletes itself afterwards.
    if (m_job->inCallback())
        m_job.release()->retire();
    else
        m_job.reset();
}

bool Quarvel::StartDownload(const QString &strURL, const QString &strLocalFile, qint64 lMinSize,
                            bool HEADorGET, qint64 LocalStartRange, qint64 LocalEndRange,
                            bool DoAppend, const QString &LocalReferer)
{
    // The unique-name rule needs a folder part in the local name.
    if (strLocalFile.isEmpty() || !strLocalFile.contains(QLatin1Char('/'))) return false;

    // A transfer still running on this instance ends here, silently. Its
    // socket closes at once, so there is nothing to wait for.
    RetireJob();

    TransferParams p;
    p.url = strURL;
    p.minSize = lMinSize;
    p.isGet = HEADorGET;
    p.startRange = HEADorGET ? LocalStartRange : 0;
    p.endRange = HEADorGET ? LocalEndRange : 0;
    p.append = DoAppend;
    p.referer = LocalReferer;
    p.localFile = DoAppend ? strLocalFile : LocalFileNames::UniqueName(strLocalFile);
    p.connectTimeoutMs = m_connectTimeoutMs;
    p.stallTimeoutMs = m_stallTimeoutMs;
    p.extraLines = m_extraHeaderLines;
    p.keepConnection = m_keepConnections;

    m_job = std::make_unique<TransferJob>(this, p);
    m_job->start();
    return true;
}

int Quarvel::AddTrustedCertificates(const QString &pemFile)
{
    return TlsSessions::AddTrustedCertificates(pemFile);
}

void Quarvel::AbortDownload()
{
    Cancel();
    QCoreApplication::processEvents();
}

void Quarvel::Cancel()
{
    if (m_job) m_job->stop();
}

QString Quarvel::FinalURL() const
{
    return m_job ? m_job->finalUrl() : QString();
}

QString Quarvel::LocalFile() const
{
    return m_job ? m_job->localFile() : QString();
}

bool Quarvel::CreatedLocalFile() const
{
    return m_job && m_job->createdLocalFile();
}

QString Quarvel::ContentType() const
{
    return m_job ? m_job->contentType() : QString();
}

int Quarvel::StatusCode() const
{
    return m_job ? m_job->statusCode() : 0;
}

QString Quarvel::RetryAfter() const
{
    return m_job ? m_job->retryAfter() : QString();
}

bool Quarvel::IsBusy() const
{
    return m_job && m_job->isActive();
}

void Quarvel::SetExtraHeaderLines(ExtraHeaderLines lines)
{
    m_extraHeaderLines = std::move(lines);
}

void Quarvel::SetConnectTimeout(int ms)
{
    m_connectTimeoutMs = ms;
}

void Quarvel::SetStallTimeout(int ms)
{
    m_stallTimeoutMs = ms;
}

int Quarvel::ConnectTimeout() const
{
    return m_connectTimeoutMs;
}

int Quarvel::StallTimeout() const
{
    return m_stallTimeoutMs;
}

void Quarvel::SetKeepConnections(bool keep)
{
    if (keep == m_keepConnections) return;
    m_keepConnections = keep;
    if (keep)
        ConnectionPool::AddKeeper();
    else
        ConnectionPool::RemoveKeeper();
}

bool Quarvel::KeepConnections() const
{
    return m_keepConnections;
}
