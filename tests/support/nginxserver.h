#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A real nginx (Debian's nginx-light) on a free 127.0.0.1 port serving a
// temporary folder: real GET, HEAD and byte ranges for the tests; files below
// "slow/" are sent at 256 KiB/s per connection, pages below "latin1/" carry
// "charset=iso-8859-1". Started by start(), stopped by
// stop() or the destructor.
//
// TLS listeners added before start() serve the same folder over TLS, each on
// a free port of its own with its own certificate. With at least one, the
// plain listener redirects "/to-tls/X" to "/X" on the first TLS listener, and
// every TLS listener redirects "/to-plain/X" to "/X" on the plain one.
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

    // Adds a TLS listener called name, serving with the certificate chain and
    // key in the given PEM files.
    void addTlsListener(const QString &name, const QString &certificateFile,
                        const QString &keyFile);
    // On the port of listener name, a second server for the host name
    // serverName (chosen by server name indication) with its own certificate.
    void addTlsServerName(const QString &name, const QString &serverName,
                          const QString &certificateFile, const QString &keyFile);
    quint16 tlsPort(const QString &name) const;
    // "https://127.0.0.1:<port of listener name>" + path.
    QString tlsUrl(const QString &name, const QString &path) const;
    // One line per request served over TLS so far: "PORT REUSED REQUEST", REUSED
    // being "r" for a resumed TLS session and "." for a full handshake.
    QStringList tlsLog() const;

    quint16 port() const { return m_port; }
    // "http://127.0.0.1:<port>" + path.
    QString url(const QString &path) const;
    // The folder nginx serves; tests write their files here.
    QString docRoot() const;
    // Writes a file below the served folder (folders created as needed).
    bool writeFile(const QString &relativePath, const QByteArray &bytes) const;
    QString errorText() const { return m_error; }

private:
    struct TlsServer {
        QString listener;   // the listener's name
        QString serverName; // empty: the listener's default server
        QString certificate;
        QString key;
    };
    QByteArray tlsServerBlocks() const;

    QTemporaryDir m_dir;
    QList<TlsServer> m_tlsServers;
    QStringList m_tlsNames;
    QList<quint16> m_tlsPorts;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};
