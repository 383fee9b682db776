#pragma once

#include "downloadengine.h"
#include "downloadlistmodel.h"
#include "questions.h"
#include "statewords.h"

#include <QCoreApplication>
#include <QString>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <optional>

// BenchSupport: what the benchmark tools that drive the download engine
// (download_list, harvest) share: output, argument checks, the event loop they
// run the engine in, and the reading of the finished download list.
// Header-only; Qt Core and the download logic.
namespace BenchSupport
{

// Writes line and a line end to standard output and flushes it, so that a
// reader of a pipe sees every line as soon as it is written.
inline void printLine(const QString &line)
{
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Usage: a tool's answer to bad usage, its name, usage text and exit code for
// it. Called with a problem, it says "TOOL: PROBLEM" and the usage text on
// standard error and returns the exit code.
struct Usage {
    const char *tool;
    const char *text;
    int exitCode;

    int operator()(const QString &problem) const
    {
        std::fprintf(stderr, "%s: %s\n", tool, problem.toLocal8Bit().constData());
        std::fputs(text, stderr);
        return exitCode;
    }
};

// The whole number written in text, when it lies from low to high.
inline std::optional<int> wholeNumber(const QString &text, int low, int high)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high) return std::nullopt;
    return value;
}

// Runs passes inside the event loop, as the program runs its scheduler passes,
// and returns once they have returned and no group of the engine is busy any
// more, which is looked for whenever a group frees and every pollMs
// milliseconds. Needs the QCoreApplication of the tool.
inline void runUntilIdle(DownloadEngine &engine, int pollMs, const std::function<void()> &passes)
{
    bool passesEnded = false;
    const auto quitWhenIdle = [&] {
        if (passesEnded && !engine.Timer1States().Busy) QCoreApplication::quit();
    };
    QTimer::singleShot(0, &engine, [&] {
        passes();
        passesEnded = true;
        quitWhenIdle();
    });
    // Queued: the group's row has been handled whole by then. Without it the
    // end would be seen up to pollMs late, which the timings would count.
    const QMetaObject::Connection freed = QObject::connect(
        &engine, &DownloadEngine::GroupFreed, &engine, quitWhenIdle, Qt::QueuedConnection);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &engine, quitWhenIdle);
    poll.start(pollMs);
    QCoreApplication::exec();
    poll.stop();
    QObject::disconnect(freed);
}

// Questions of a tool without a screen: a message goes to standard error as
// "TOOL: TEXT" and counts as answered OK; nothing else is ever asked.
class StderrQuestions : public SilentQuestions
{
public:
    explicit StderrQuestions(const char *tool) : m_tool(tool) {}
    Answer Message(const QString &text, Buttons, Icon, const QString &) override
    {
        std::fprintf(stderr, "%s: %s\n", m_tool, text.toLocal8Bit().constData());
        return Answer::Ok;
    }

private:
    const char *m_tool;
};

// True when the download row ended "Done" (also "Done (same as NAME)"); any other row is reported
// on standard error as `TOOL: row N "ADDRESS": STATE`.
inline bool rowDone(const DownloadListModel &list, int row, const char *tool)
{
    const QString word = list.subItem(row, DownloadListModel::ColState);
    if (IsDoneState(word)) return true;
    std::fprintf(stderr, "%s: row %d \"%s\": %s\n", tool, row,
                 list.subItem(row, DownloadListModel::ColSource).toLocal8Bit().constData(),
                 word.toLocal8Bit().constData());
    return false;
}

// Seconds from nanoseconds with two decimals, as the summary lines give them.
inline QString seconds(qint64 ns)
{
    return QString::number(double(ns) / 1e9, 'f', 3);
}

} // namespace BenchSupport
