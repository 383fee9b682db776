#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

class Questions;
class QSqlQuery;

// The archive of finished downloads: an SQLite database in the program
// folder with one entry per file that ended "Done" (source address, local
// path, size, time, SHA-256 of the content). A harvest asks it whether an
// address was fetched before; the engine asks it whether a finished file's
// content is already there. A database that cannot be used is reported once;
// the archive then answers "nothing known" and records nothing.
class DownloadArchive
{
public:
    static constexpr const char *FileName = "archive.sqlite";

    // folder is the program folder; questions hears of a database that
    // cannot be used. Nothing is opened before the first use.
    DownloadArchive(const QString &folder, Questions &questions);
    ~DownloadArchive();
    DownloadArchive(const DownloadArchive &) = delete;
    DownloadArchive &operator=(const DownloadArchive &) = delete;

    // The message shown once when the database cannot be used: %1 the
    // database file, %2 the reason.
    QString ProblemText = QStringLiteral("The archive of downloaded files %1 cannot be used (%2). "
                                         "The program goes on without it.");

    QString Path() const { return m_path; }
    // False once the database has failed (it is then left alone until the
    // program starts again).
    bool Usable();
    // True when a finished download of this source address is archived.
    bool Contains(const QString &source);
    // Archives a finished file in one transaction. Returns the local path of
    // the earliest archived other file with the same content, empty when
    // there is none (or the archive cannot be used).
    QString Record(const QString &source, const QString &path, qint64 size,
                   const QByteArray &sha256);
    // Forgets every entry. False when the database cannot be used.
    bool Forget();
    // The number of entries (0 when the database cannot be used).
    qint64 Count();

    // The SHA-256 of a file's content, empty when it cannot be read. yield
    // runs between large blocks, so that a long file lets events through.
    static QByteArray HashFile(const QString &path, const std::function<void()> &yield = {});

private:
    bool Open();
    // Reports the failure once and stops using the database.
    void Fail(const QString &reason);

    QString m_path;
    QString m_connection;
    Questions &m_questions;
    // Record's two statements, prepared once while the database is open.
    std::unique_ptr<QSqlQuery> m_lookup;
    std::unique_ptr<QSqlQuery> m_insert;
    bool m_opened = false;
    bool m_failed = false;
};
