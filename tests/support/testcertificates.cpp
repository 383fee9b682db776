#include "testcertificates.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace
{

const char *const Config = R"([req]
distinguished_name = dn
prompt = no
[dn]
CN = unused
[authority]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
[loopback]
basicConstraints = CA:FALSE
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1,DNS:localhost
[other]
basicConstraints = CA:FALSE
extendedKeyUsage = serverAuth
subjectAltName = DNS:other.example
[ca]
default_ca = test_ca
[test_ca]
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = any_name
unique_subject = no
[any_name]
commonName = supplied
)";

const char *baseName(TestCertificates::Kind kind)
{
    switch (kind) {
    case TestCertificates::Good:
        return "good";
    case TestCertificates::OtherName:
        return "other";
    case TestCertificates::Expired:
        return "expired";
    case TestCertificates::Untrusted:
        return "untrusted";
    }
    return "";
}

} // namespace

QString TestCertificates::authorityFile() const
{
    return path(QStringLiteral("ca.pem"));
}

QString TestCertificates::certificateFile(Kind kind) const
{
    return path(QLatin1String(baseName(kind)) + QStringLiteral(".pem"));
}

QString TestCertificates::keyFile(Kind kind) const
{
    return path(QLatin1String(baseName(kind)) + QStringLiteral(".key"));
}

bool TestCertificates::openssl(const QStringList &arguments)
{
    QProcess p;
    p.setWorkingDirectory(m_dir.path());
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("openssl"), arguments);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        m_error = QStringLiteral("openssl %1: %2%3")
                      .arg(arguments.join(QLatin1Char(' ')), p.errorString(),
                           QString::fromLocal8Bit(p.readAll()));
        return false;
    }
    return true;
}

bool TestCertificates::make()
{
    if (QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty()) {
        m_error = QStringLiteral("openssl not found (install openssl)");
        return false;
    }
    QFile config(path(QStringLiteral("openssl.cnf")));
    if (!m_dir.isValid() || !config.open(QIODevice::WriteOnly)) {
        m_error = QStringLiteral("cannot write openssl.cnf");
        return false;
    }
    config.write(Config);
    config.close();
    QFile(path(QStringLiteral("index.txt"))).open(QIODevice::WriteOnly);
    QFile serial(path(QStringLiteral("serial")));
    if (serial.open(QIODevice::WriteOnly)) serial.write("10\n");
    serial.close();

    const QStringList ec{QStringLiteral("-newkey"), QStringLiteral("ec"),
                         QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
                         QStringLiteral("-nodes")};
    auto authority = [&](const QString &name, const QString &subject) {
        return openssl(QStringList{"req", "-config", "openssl.cnf", "-x509"} + ec +
                       QStringList{"-keyout", name + ".key", "-out", name + ".pem", "-days", "30",
                                   "-subj", subject, "-extensions", "authority"});
    };
    auto request = [&](const QString &name, const QString &subject) {
        return openssl(
            QStringList{"req", "-config", "openssl.cnf", "-new"} + ec +
            QStringList{"-keyout", name + ".key", "-out", name + ".csr", "-subj", subject});
    };
    auto sign = [&](const QString &name, const QString &ca, const QString &extensions,
                    int serialNumber) {
        return openssl({"x509", "-req", "-in", name + ".csr", "-CA", ca + ".pem", "-CAkey",
                        ca + ".key", "-set_serial", QString::number(serialNumber), "-days", "30",
                        "-extfile", "openssl.cnf", "-extensions", extensions, "-out",
                        name + ".pem"});
    };
    return authority("ca", "/CN=Quarvel Test Authority") &&
           authority("rogue", "/CN=Unknown Authority") && request("good", "/CN=127.0.0.1") &&
           sign("good", "ca", "loopback", 2) && request("other", "/CN=other.example") &&
           sign("other", "ca", "other", 3) && request("untrusted", "/CN=127.0.0.1") &&
           sign("untrusted", "rogue", "loopback", 4) && request("expired", "/CN=127.0.0.1") &&
           // Valid only in 2020: "openssl ca" takes explicit dates.
           openssl({"ca",          "-batch",          "-config",
                    "openssl.cnf", "-cert",           "ca.pem",
                    "-keyfile",    "ca.key",          "-notext",
                    "-in",         "expired.csr",     "-out",
                    "expired.pem", "-startdate",      "20200101000000Z",
                    "-enddate",    "20210101000000Z", "-extfile",
                    "openssl.cnf", "-extensions",     "loopback"});
}
