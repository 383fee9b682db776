// The hostile-server soak: a scripted server answers one transfer control with
// responses built and mutated from a seeded generator (bad status lines, huge,
// negative and repeated lengths, malformed chunk sizes, endless headers, early
// closes, slow drip, bursts of interim answers, random byte damage) for
// several hundred rounds. Every round must end within the control's time-outs,
// a well-formed response must end Finished with exactly its body, a broken or
// incomplete one must never end Finished, and the process stays below 64 MiB.
// Not part of the default test run: scripts/soak.sh builds and starts it.
//   QUARVEL_SOAK_SEED (default 20261207), QUARVEL_SOAK_ROUNDS (default 400)
#include "filebytes.h"
#include "quarvel.h"
#include "scriptedserver.h"
#include "transferrecorder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>

namespace
{

constexpr int StallMs = 1000;
constexpr int ConnectMs = 3000;

enum class Expect { Finished, NotFinished, Any };

struct Round {
    const char *kind = "";
    Script script;
    Expect expect = Expect::Any;
    QByteArray body; // what a Finished round must have stored
    int pausesMs = 0;
    bool holds = false;
};

class Generator
{
public:
    explicit Generator(unsigned seed) : m_random(seed) {}

    int number(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }
    bool chance(int percent) { return number(1, 100) <= percent; }

    QByteArray bytes(int size)
    {
        QByteArray b(size, Qt::Uninitialized);
        for (char &c : b)
            c = char(number(0, 255));
        return b;
    }

    // A well-formed response and its body: by length, chunked, or by close.
    QByteArray validResponse(QByteArray &body, bool &byClose)
    {
        body = bytes(number(0, 3) == 0 ? number(0, 16) : number(1, 60000));
        byClose = false;
        switch (number(0, 2)) {
        case 0:
            return "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                   QByteArray::number(body.size()) + "\r\n\r\n" + body;
        case 1:
            return "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + chunked(body);
        default:
            byClose = true;
            return "HTTP/1.0 200 OK\r\n\r\n" + body;
        }
    }

    QByteArray chunked(const QByteArray &body)
    {
        QByteArray out;
        for (qsizetype at = 0; at < body.size();) {
            const qsizetype n = qMin<qsizetype>(number(1, 9000), body.size() - at);
            out += QByteArray::number(n, 16) + (chance(20) ? ";x=y" : "") + "\r\n" +
                   body.mid(at, n) + "\r\n";
            at += n;
        }
        return out + "0\r\n\r\n";
    }

    // Sends the bytes in random pieces with short gaps (at most a quarter of
    // the stall time-out each).
    void sendPieces(Round &r, const QByteArray &bytes, int maxPieces, int maxGapMs)
    {
        QList<int> sizes;
        const int pieces = number(1, maxPieces);
        for (int i = 1; i < pieces; ++i)
            sizes << number(1, qMax(1, int(bytes.size() / pieces) * 2));
        const int gap = number(0, maxGapMs);
        r.script.sendSplit(bytes, sizes, gap);
        r.pausesMs += gap * pieces;
    }

    Round next()
    {
        Round r;
        r.script.waitForRequest();
        QByteArray body;
        bool byClose = false;
        const QByteArray ok = "HTTP/1.1 200 OK\r\n";
        switch (number(0, 15)) {
        case 0: {
            r.kind = "valid";
            const QByteArray response = validResponse(body, byClose);
            sendPieces(r, response, 6, 30);
            r.expect = Expect::Finished;
            r.body = body;
            break;
        }
        case 1: {
            r.kind = "slow drip";
            const QByteArray response = validResponse(body, byClose);
            if (response.size() > 400) return next();
            r.script.sendBytewise(response, 1);
            r.pausesMs += int(response.size()) * 2;
            r.expect = Expect::Finished;
            r.body = body;
            break;
        }
        case 2: {
            r.kind = "interim answers within the limit";
            const QByteArray response = validResponse(body, byClose);
            sendPieces(r, QByteArray("HTTP/1.1 100 Continue\r\n\r\n").repeated(number(1, 20)) +
                              response, 4, 20);
            r.expect = Expect::Finished;
            r.body = body;
            break;
        }
        case 3:
            r.kind = "interim burst";
            r.script.send(QByteArray("HTTP/1.1 100 C\r\n\r\n").repeated(number(21, 30000)) + ok +
                          "Content-Length: 2\r\n\r\nok");
            r.expect = Expect::NotFinished;
            break;
        case 4: {
            r.kind = "bad status line";
            const QByteArray lines[] = {"HTTP/1.1 2OO OK\r\n", "HTTP/1.1\r\n", "ICY 200 OK\r\n",
                                        "\r\n",               "HTTP/1.1 20 OK\r\n", "http/1.1 200 OK\r\n",
                                        " HTTP/1.1 200 OK\r\n", bytes(number(1, 40)) + "\r\n"};
            r.script.send(lines[number(0, 7)] + "Content-Length: 3\r\n\r\nabc");
            r.expect = Expect::NotFinished;
            break;
        }
        case 5: {
            r.kind = "unreadable length";
            const QByteArray values[] = {"-1", "-99999", "", "1e3", "1 000", "5, 5", "- 5", "+5",
                                         "0x10", "99999999999999999999999", "five"};
            r.script.send(ok + "Content-Length: " + values[number(0, 10)] + "\r\n\r\n" +
                          bytes(number(0, 50)));
            r.expect = Expect::NotFinished;
            break;
        }
        case 6: {
            r.kind = "repeated lengths";
            body = bytes(number(1, 500));
            const bool equal = chance(50);
            const QByteArray second = QByteArray::number(body.size() + (equal ? 0 : number(1, 9)));
            r.script.send(ok + "Content-Length: " + QByteArray::number(body.size()) +
                          "\r\nContent-Length: " + second + "\r\n\r\n" + body);
            r.expect = equal ? Expect::Finished : Expect::NotFinished;
            r.body = body;
            break;
        }
        case 7: {
            r.kind = "huge length, short body";
            r.script.send(ok + "Content-Length: " +
                          QByteArray::number(qint64(number(1, 1 << 30)) * number(1, 1 << 30)) +
                          "\r\n\r\n" + bytes(number(0, 5000)));
            r.expect = Expect::NotFinished;
            break;
        }
        case 8: {
            r.kind = "malformed chunk size";
            const QByteArray sizes[] = {"zz", "-1", "FFFFFFFFFFFFFFFFFFFF", "",
                                        QByteArray(5000, '0') + "1", "4 4", "0x4"};
            r.script.send(ok + "Transfer-Encoding: chunked\r\n\r\n4\r\nabcd\r\n" +
                          sizes[number(0, 6)] + "\r\nabcd\r\n0\r\n\r\n");
            r.expect = Expect::NotFinished;
            break;
        }
        case 9: {
            r.kind = "chunk without its line end";
            r.script.send(ok + "Transfer-Encoding: chunked\r\n\r\n4\r\nabcdXY5\r\nabcde\r\n0\r\n\r\n");
            r.expect = Expect::NotFinished;
            break;
        }
        case 10: {
            r.kind = "endless header";
            QByteArray header = ok;
            const int lines = number(700, 4000);
            for (int i = 0; i < lines; ++i)
                header += "X-Filler-" + QByteArray::number(i) + ": " + QByteArray(90, 'f') + "\r\n";
            r.script.send(header + (chance(50) ? "\r\nbody" : ""));
            r.expect = Expect::NotFinished;
            break;
        }
        case 11: {
            r.kind = "early close";
            body = bytes(number(2, 20000));
            const qsizetype cut = number(0, int(body.size()) - 1);
            const QByteArray response =
                chance(50) ? ok + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" +
                                 body.left(cut)
                           : ok + "Transfer-Encoding: chunked\r\n\r\n" + chunked(body).left(cut);
            sendPieces(r, response, 3, 20);
            r.script.close();
            r.expect = Expect::NotFinished;
            break;
        }
        case 12: {
            r.kind = "stall inside the body";
            body = bytes(number(2, 2000));
            r.script.send(ok + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" +
                          body.left(number(0, int(body.size()) - 1)));
            r.script.hold();
            r.holds = true;
            r.expect = Expect::NotFinished;
            break;
        }
        case 13: {
            r.kind = "error status";
            const int codes[] = {404, 500, 403, 416, 301, 101, 199, 600, 999};
            r.script.send("HTTP/1.1 " + QByteArray::number(codes[number(0, 8)]) +
                          " X\r\nContent-Length: 3\r\n\r\nabc");
            r.expect = Expect::NotFinished;
            break;
        }
        default: {
            r.kind = "damaged bytes";
            QByteArray response = validResponse(body, byClose);
            for (int n = number(1, 6); n > 0 && !response.isEmpty(); --n) {
                const qsizetype at = number(0, int(response.size()) - 1);
                switch (number(0, 2)) {
                case 0: response[at] = char(number(0, 255)); break;
                case 1: response.remove(at, number(1, 8)); break;
                default: response.insert(at, bytes(number(1, 8))); break;
                }
            }
            sendPieces(r, response, 4, 20);
            r.expect = Expect::Any;
            break;
        }
        }
        return r;
    }

private:
    std::mt19937 m_random;
};

// The process's peak resident memory in KiB (VmHWM).
long PeakRssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

unsigned EnvNumber(const char *name, unsigned fallback)
{
    const char *text = std::getenv(name);
    return text ? unsigned(std::strtoul(text, nullptr, 10)) : fallback;
}

} // namespace

TEST(HostileServerSoak, EveryRoundEndsInTimeAndOnlySoundBodiesFinish)
{
    const unsigned seed = EnvNumber("QUARVEL_SOAK_SEED", 20261207u);
    const int rounds = int(EnvNumber("QUARVEL_SOAK_ROUNDS", 400u));
    std::printf("soak: seed %u, %d rounds (QUARVEL_SOAK_SEED, QUARVEL_SOAK_ROUNDS)\n", seed, rounds);
    std::fflush(stdout);

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Quarvel q;
    q.SetStallTimeout(StallMs);
    q.SetConnectTimeout(ConnectMs);
    TransferRecorder rec(q);
    Generator generator(seed);
    int finished = 0;

    for (int round = 0; round < rounds; ++round) {
        Round r = generator.next();
        SCOPED_TRACE(testing::Message() << "seed " << seed << " round " << round << " (" << r.kind
                                        << ")");
        const QString target = dir.filePath(QStringLiteral("r%1.bin").arg(round));
        // A server of its own per round, so that no round's bytes stay held.
        ScriptedServer server;
        ASSERT_TRUE(server.start());
        server.enqueue(r.script);
        rec.events.clear();
        QElapsedTimer clock;
        clock.start();
        ASSERT_TRUE(q.StartDownload(server.url(QStringLiteral("/r%1").arg(round)), target, 0, true,
                                    0, 0, true, {}));
        // Every pause of the script, the stall limit once more, and a margin
        // for a loaded machine.
        const int deadline = r.pausesMs + (r.holds ? StallMs : 0) + StallMs + 10000;
        ASSERT_TRUE(rec.waitForEnd(deadline))
            << "no end after " << clock.elapsed() << " ms: " << rec.events.join(';').toStdString();
        const bool isFinished = rec.last() == QLatin1String("Finished");
        finished += isFinished ? 1 : 0;
        if (r.expect == Expect::Finished) {
            ASSERT_TRUE(isFinished) << rec.last().toStdString();
            ASSERT_EQ(readAll(target), r.body);
        } else if (r.expect == Expect::NotFinished) {
            ASSERT_FALSE(isFinished) << rec.events.join(';').toStdString();
        }
        QFile::remove(target);
    }
    const long peak = PeakRssKiB();
    std::printf("soak: %d rounds, %d finished, peak memory %ld KiB\n", rounds, finished, peak);
    EXPECT_GT(peak, 0);
    EXPECT_LT(peak, 64 * 1024);
}
