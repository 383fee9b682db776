#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real nginx (Debian's nginx-light) on a free 127.0.0.1 port serving a
// temporary folder: real GET, HEAD and byte ranges for the tests; files below
// "slow/" are sent at 256 KiB/s per connection, pages below "latin1/" carry
// "charset=iso-8859-1". Started by start(), stopped by
// stop() or the destructor.
class NginxServer
{
public:
    NginxServer();
    ~NginxServer();
    NginxServer(const NginxServer &) = delete;
    NginxServer &operator=(const NginxServer &) = delete;

    // Writes the configuration and starts nginx; false (with errorText()) when
    // nginx is missing or did not come up within a few seconds.
    bool start();
    void stop();
    bool isRunning() const;

    quint16 port() const { return m_port; }
    // "http://127.0.0.1:<port>" + path.
    QString url(const QString &path) const;
    // The folder nginx serves; tests write their files here.
    QString docRoot() const;
    // Writes a file below the served folder (folders created as needed).
    bool writeFile(const QString &relativePath, const QByteArray &bytes) const;
    QString errorText() const { return m_error; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};
