#pragma once

#include <QString>
#include <QTemporaryDir>

// Certificates for TLS tests, made in a temporary folder with the openssl
// command-line tool: a test authority and server certificates for 127.0.0.1
// (and "localhost") signed by it, one for another host name, an expired one,
// and one from a second authority that nobody trusts. EC keys, so that making
// them takes a fraction of a second.
class TestCertificates
{
public:
    enum Kind { Good, OtherName, Expired, Untrusted };

    // Makes everything; false (with errorText()) when openssl fails or is missing.
    bool make();
    // The test authority's certificate (PEM), to be trusted by the tests.
    QString authorityFile() const;
    QString certificateFile(Kind kind) const;
    QString keyFile(Kind kind) const;
    QString errorText() const { return m_error; }

private:
    bool openssl(const QStringList &arguments);
    QString path(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    QString m_error;
};
