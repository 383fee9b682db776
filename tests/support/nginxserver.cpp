#include "nginxserver.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <unistd.h>

namespace {

quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

QString findNginx()
{
    QString path = QStandardPaths::findExecutable(QStringLiteral("nginx"));
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(QStringLiteral("nginx"),
                                              {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    return path;
}

} // namespace

NginxServer::NginxServer() = default;

NginxServer::~NginxServer()
{
    stop();
}

QString NginxServer::docRoot() const
{
    return m_dir.path() + QStringLiteral("/www");
}

QString NginxServer::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
}

bool NginxServer::writeFile(const QString &relativePath, const QByteArray &bytes) const
{
    const QString path = docRoot() + QLatin1Char('/') + relativePath;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool ok = f.write(bytes) == bytes.size();
    f.close();
    // Workers may run as an unprivileged user: make the file world-readable.
    f.setPermissions(f.permissions() | QFileDevice::ReadOther | QFileDevice::ReadGroup);
    return ok;
}

void NginxServer::addTlsListener(const QString &name, const QString &certificateFile,
                                 const QString &keyFile)
{
    m_tlsNames.append(name);
    m_tlsPorts.append(0);
    m_tlsServers.append({name, QString(), certificateFile, keyFile});
}

void NginxServer::addTlsServerName(const QString &name, const QString &serverName,
                                   const QString &certificateFile, const QString &keyFile)
{
    m_tlsServers.append({name, serverName, certificateFile, keyFile});
}

quint16 NginxServer::tlsPort(const QString &name) const
{
    const qsizetype i = m_tlsNames.indexOf(name);
    return i < 0 ? 0 : m_tlsPorts.at(i);
}

QString NginxServer::tlsUrl(const QString &name, const QString &path) const
{
    return QStringLiteral("https://127.0.0.1:%1%2").arg(tlsPort(name)).arg(path);
}

QStringList NginxServer::tlsLog() const
{
    QFile log(m_dir.path() + QStringLiteral("/tls.log"));
    if (!log.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QByteArray NginxServer::tlsServerBlocks() const
{
    QByteArray conf;
    if (m_tlsServers.isEmpty()) return conf;
    const QByteArray root = m_dir.path().toUtf8();
    conf += "  log_format tls '$server_port $ssl_session_reused \"$request\" $connection_requests';\n";
    for (const TlsServer &t : m_tlsServers) {
        const quint16 port = tlsPort(t.listener);
        conf += "  server {\n"
                "    listen 127.0.0.1:" + QByteArray::number(port) + " ssl;\n";
        if (!t.serverName.isEmpty()) conf += "    server_name " + t.serverName.toUtf8() + ";\n";
        conf += "    ssl_certificate " + t.certificate.toUtf8() + ";\n"
                "    ssl_certificate_key " + t.key.toUtf8() + ";\n"
                "    access_log " + root + "/tls.log tls;\n"
                "    root " + docRoot().toUtf8() + ";\n"
                "    autoindex on;\n"
                "    location /slow/ { limit_rate 256k; }\n"
                "    location /to-plain/ { rewrite ^/to-plain/(.*)$ http://127.0.0.1:" +
                QByteArray::number(m_port) + "/$1 redirect; }\n"
                "  }\n";
    }
    return conf;
}

bool NginxServer::isRunning() const
{
    return m_process.state() == QProcess::Running;
}

bool NginxServer::start()
{
    if (isRunning())
        return true;
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    const QString nginx = findNginx();
    if (nginx.isEmpty()) {
        m_error = QStringLiteral("nginx not found (install nginx-light)");
        return false;
    }
    const QString root = m_dir.path();
    QDir().mkpath(docRoot());
    QDir().mkpath(root + QStringLiteral("/tmp"));
    QFile::setPermissions(root, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                    QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                    QFileDevice::ExeOther | QFileDevice::ReadGroup |
                                    QFileDevice::ExeGroup);
    QFile::setPermissions(docRoot(), QFile::permissions(root));

    for (int attempt = 0; attempt < 5; ++attempt) {
        m_port = freePort();
        if (m_port == 0)
            continue;
        QList<quint16> taken{m_port};
        for (quint16 &tls : m_tlsPorts) {
            do
                tls = freePort();
            while (taken.contains(tls));
            taken.append(tls);
        }
        const QByteArray toTls =
            m_tlsPorts.isEmpty()
                ? QByteArray()
                : "    location /to-tls/ { rewrite ^/to-tls/(.*)$ https://127.0.0.1:" +
                      QByteArray::number(m_tlsPorts.first()) + "/$1 redirect; }\n";
        // One process, in the foreground, everything inside the temporary folder.
        QByteArray conf;
        if (::geteuid() == 0)
            conf += "user root;\n";
        conf += "daemon off;\nmaster_process off;\nworker_processes 1;\n"
                "pid " + root.toUtf8() + "/nginx.pid;\n"
                "error_log " + root.toUtf8() + "/error.log warn;\n"
                "events { worker_connections 256; }\n"
                "http {\n"
                "  access_log off;\n"
                "  default_type application/octet-stream;\n"
                "  types { image/jpeg jpg jpeg; image/gif gif; text/html html htm; video/mpeg mpg mpeg; }\n"
                "  sendfile on;\n"
                "  client_body_temp_path " + root.toUtf8() + "/tmp/body;\n"
                "  proxy_temp_path " + root.toUtf8() + "/tmp/proxy;\n"
                "  fastcgi_temp_path " + root.toUtf8() + "/tmp/fastcgi;\n"
                "  uwsgi_temp_path " + root.toUtf8() + "/tmp/uwsgi;\n"
                "  scgi_temp_path " + root.toUtf8() + "/tmp/scgi;\n"
                "  server {\n"
                "    listen 127.0.0.1:" + QByteArray::number(m_port) + ";\n"
                "    root " + docRoot().toUtf8() + ";\n"
                "    autoindex on;\n"
                // Files below /slow/ come at 256 KiB/s per connection, so
                // that tests can stop a download halfway.
                "    location /slow/ { limit_rate 256k; }\n"
                // Pages below /latin1/ are announced as Latin-1.
                "    location /latin1/ { charset iso-8859-1; }\n" +
                toTls +
                "  }\n" +
                tlsServerBlocks() +
                "}\n";
        QFile cf(root + QStringLiteral("/nginx.conf"));
        if (!cf.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            m_error = QStringLiteral("cannot write nginx.conf");
            return false;
        }
        cf.write(conf);
        cf.close();

        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(nginx, {QStringLiteral("-p"), root, QStringLiteral("-c"),
                                root + QStringLiteral("/nginx.conf"), QStringLiteral("-e"),
                                root + QStringLiteral("/error.log")});
        if (!m_process.waitForStarted(5000)) {
            m_error = QStringLiteral("nginx did not start: ") + m_process.errorString();
            return false;
        }
        // Ready when every port accepts a connection.
        QDeadlineTimer deadline(5000);
        QList<quint16> waiting = m_tlsPorts;
        waiting.prepend(m_port);
        while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
            QTcpSocket s;
            s.connectToHost(QHostAddress::LocalHost, waiting.first());
            if (s.waitForConnected(200)) {
                waiting.removeFirst();
                if (waiting.isEmpty())
                    return true;
                continue;
            }
            QThread::msleep(20);
        }
        // Port taken in the meantime, or nginx failed: try another port.
        stop();
        QFile log(root + QStringLiteral("/error.log"));
        if (log.open(QIODevice::ReadOnly))
            m_error = QString::fromUtf8(log.readAll().right(600));
    }
    if (m_error.isEmpty())
        m_error = QStringLiteral("nginx did not come up");
    return false;
}

void NginxServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}
