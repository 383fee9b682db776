// The installed tree: `cmake --install` into a temporary prefix holds the
// program, Dornex with everything outside code needs, the language file, the
// desktop entry and the icon; an outside program built only from that prefix
// downloads from nginx; the installed program finds its language file in
// share/quarvel and keeps its own files in the per-user data folder; the
// Debian package holds the same tree under /usr.
#include "filebytes.h"
#include "nginxserver.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

namespace
{

struct Outcome {
    int exitCode = -1;
    QString output; // standard output and error together
};

Outcome run(const QString &program, const QStringList &args,
            const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment(),
            int timeoutMs = 180000)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    Outcome r;
    if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit) {
        p.kill();
        p.waitForFinished();
        r.output = QStringLiteral("%1 did not end: ").arg(program);
    } else {
        r.exitCode = p.exitCode();
    }
    r.output += QString::fromLocal8Bit(p.readAll());
    return r;
}

QString linkTarget(const QString &path)
{
    return QFileInfo(path).isSymLink() ? QFileInfo(path).symLinkTarget() : QString();
}

class Installed : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        root = new QTemporaryDir;
        prefix = new QString(root->filePath(QStringLiteral("prefix")));
        install = new Outcome(run(QStringLiteral(QUARVEL_CMAKE),
                                  {"--install", QUARVEL_BUILD_DIR, "--prefix", *prefix}));
    }
    static void TearDownTestSuite()
    {
        delete install;
        delete prefix;
        delete root;
    }
    void SetUp() override
    {
        ASSERT_TRUE(root->isValid());
        ASSERT_EQ(install->exitCode, 0) << install->output.toStdString();
    }
    static QString in(const QString &relative) { return QDir(*prefix).filePath(relative); }

    static QTemporaryDir *root;
    static QString *prefix;
    static Outcome *install;
};

QTemporaryDir *Installed::root = nullptr;
QString *Installed::prefix = nullptr;
Outcome *Installed::install = nullptr;

TEST_F(Installed, PrefixHoldsTheProgramTheLibraryAndTheirFiles)
{
    const QString version = QStringLiteral(QUARVEL_VERSION_TEXT);
    const QString major = version.section('.', 0, 0);
    EXPECT_TRUE(QFileInfo(in("bin/Quarvel")).isExecutable());
    EXPECT_EQ(linkTarget(in("bin/quarvel")), in("bin/Quarvel"));

    // The library, its SONAME link and the development link.
    const QString real = "lib/libdornex.so." + version;
    EXPECT_TRUE(QFileInfo(in(real)).isFile() && !QFileInfo(in(real)).isSymLink());
    EXPECT_EQ(linkTarget(in("lib/libdornex.so." + major)), in(real));
    EXPECT_EQ(linkTarget(in("lib/libdornex.so")), in("lib/libdornex.so." + major));
    const Outcome lib = run("readelf", {"-d", in(real)});
    EXPECT_TRUE(lib.output.contains("Library soname: [libdornex.so." + major + "]"))
        << lib.output.toStdString();
    const Outcome exe = run("readelf", {"-d", in("bin/Quarvel")});
    EXPECT_TRUE(exe.output.contains("[$ORIGIN/../lib]")) << exe.output.toStdString();

    // The public header and exactly what it includes.
    EXPECT_EQ(QDir(in("include/dornex")).entryList(QDir::Files),
              QStringList({"dornex_export.h", "quarvel.h"}));
    for (const char *name :
         {"DornexConfig.cmake", "DornexConfigVersion.cmake", "DornexTargets.cmake"})
        EXPECT_TRUE(QFileInfo::exists(in(QStringLiteral("lib/cmake/Dornex/") + name))) << name;

    // pkg-config gives the prefix's folders wherever the tree was installed.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PKG_CONFIG_PATH", in("lib/pkgconfig"));
    const Outcome pc = run("pkg-config", {"--cflags", "--libs", "dornex"}, env);
    ASSERT_EQ(pc.exitCode, 0) << pc.output.toStdString();
    const QStringList flags = pc.output.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
    auto folderOf = [&](const QString &flag) {
        for (const QString &f : flags)
            if (f.startsWith(flag) && QDir::cleanPath(f.mid(2)).startsWith(*prefix))
                return QDir::cleanPath(f.mid(2));
        return QString();
    };
    EXPECT_EQ(folderOf("-I"), in("include"));
    EXPECT_EQ(folderOf("-L"), in("lib"));
    EXPECT_TRUE(flags.contains("-ldornex") && flags.contains("-lQt6Network"));

    // The language file as built, the menu entry and its icon.
    EXPECT_EQ(readAll(in("share/quarvel/lang.dat")),
              readAll(QStringLiteral(QUARVEL_BUILD_DIR "/app/lang.dat")));
    const QStringList desktop = QString::fromUtf8(readAll(in("share/applications/quarvel.desktop")))
                                    .split('\n', Qt::SkipEmptyParts);
    for (const char *line : {"[Desktop Entry]", "Type=Application", "Name=Quarvel", "Exec=quarvel",
                             "Icon=quarvel", "Categories=Network;FileTransfer;"})
        EXPECT_TRUE(desktop.contains(QString::fromUtf8(line))) << line;
    EXPECT_EQ(desktop.filter(QRegularExpression("^Comment=.+")).size(), 1);
    EXPECT_EQ(desktop.filter(QRegularExpression("^Comment\\[de\\]=.+")).size(), 1);
    EXPECT_TRUE(readAll(in("share/icons/hicolor/scalable/apps/quarvel.svg")).contains("<svg"));
}

TEST_F(Installed, ExampleBuiltFromThePrefixDownloadsAFileByteIdentical)
{
    const QString launcher = QStringLiteral(QUARVEL_CXX_LAUNCHER);
    // With the CMake package.
    const QString build = root->filePath("fetch-build");
    QStringList configure = {"-S",
                             QUARVEL_EXAMPLE_DIR,
                             "-B",
                             build,
                             "-DCMAKE_PREFIX_PATH=" + *prefix,
                             "-DCMAKE_BUILD_TYPE=Release"};
    if (!launcher.isEmpty()) configure << "-DCMAKE_CXX_COMPILER_LAUNCHER=" + launcher;
    const Outcome cfg = run(QStringLiteral(QUARVEL_CMAKE), configure);
    ASSERT_EQ(cfg.exitCode, 0) << cfg.output.toStdString();
    // Found in the prefix, not in a copy installed elsewhere on the machine.
    EXPECT_TRUE(readAll(build + "/CMakeCache.txt")
                    .contains("Dornex_DIR:PATH=" + in("lib/cmake/Dornex").toUtf8() + "\n"));
    const Outcome make = run(QStringLiteral(QUARVEL_CMAKE), {"--build", build});
    ASSERT_EQ(make.exitCode, 0) << make.output.toStdString();

    // With pkg-config and the compiler alone.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("LD_LIBRARY_PATH");
    env.insert("PKG_CONFIG_PATH", in("lib/pkgconfig"));
    const QString byPc = root->filePath("fetch-pc");
    const Outcome cc = run(
        "sh",
        {"-c", QStringLiteral("%1 %2 -std=c++20 %3/fetch.cpp $(pkg-config --cflags --libs dornex) "
                              "-Wl,-rpath,%4 -o %5")
                   .arg(launcher, QStringLiteral(QUARVEL_CXX_COMPILER),
                        QStringLiteral(QUARVEL_EXAMPLE_DIR), in("lib"), byPc)},
        env);
    ASSERT_EQ(cc.exitCode, 0) << cc.output.toStdString();

    NginxServer nginx;
    ASSERT_TRUE(nginx.start()) << nginx.errorText().toStdString();
    const QByteArray bytes = randomBytes(700 * 1024 + 7, 1414);
    ASSERT_TRUE(nginx.writeFile("pics/sample.jpg", bytes));
    for (const QString &program : {build + "/fetch", byPc}) {
        const QString target = root->filePath("fetched/" + QFileInfo(program).fileName() + ".jpg");
        ASSERT_TRUE(QDir().mkpath(QFileInfo(target).path()));
        const Outcome fetch = run(program, {nginx.url("/pics/sample.jpg"), target}, env, 60000);
        EXPECT_EQ(fetch.exitCode, 0) << fetch.output.toStdString();
        EXPECT_EQ(sha256(readAll(target)), sha256(bytes)) << program.toStdString();
    }
}

TEST_F(Installed, ProgramReadsItsLanguageFileFromShareAndWritesOnlyToTheUserDataFolder)
{
    // Watch the installed language file being opened.
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, QFile::encodeName(in("share/quarvel/lang.dat")).constData(),
                                IN_OPEN),
              0);
    bool opened = false;
    auto sawOpen = [&] {
        alignas(inotify_event) char buffer[4096];
        while (::read(watch, buffer, sizeof buffer) > 0)
            opened = true;
        return opened;
    };

    // bin/ is writable here (the tests run as root), which alone would make it
    // the program folder of a portable copy.
    const QString home = root->filePath("home");
    const QString userData = home + "/.local/share/Quarvel";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("LD_LIBRARY_PATH");
    env.remove("XDG_DATA_HOME");
    env.insert("HOME", home);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess program;
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(in("bin/quarvel"), {});
    ASSERT_TRUE(program.waitForStarted(10000));
    const bool up = QTest::qWaitFor(
        [&] {
            return program.state() != QProcess::Running ||
                   (sawOpen() && QFileInfo::exists(userData + "/quarvel.ini"));
        },
        60000);
    const bool running = program.state() == QProcess::Running;
    program.terminate();
    if (!program.waitForFinished(10000)) {
        program.kill();
        program.waitForFinished();
    }
    ::close(watch);

    EXPECT_TRUE(up && running) << "exit code " << program.exitCode();
    EXPECT_TRUE(opened);
    EXPECT_TRUE(readAll(userData + "/quarvel.ini").contains("language|german"));
    EXPECT_TRUE(QFileInfo(userData + "/qvtemp").isDir());
    EXPECT_TRUE(QFileInfo(userData + "/incoming").isDir());
    QStringList bin = QDir(in("bin")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    bin.sort();
    EXPECT_EQ(bin, QStringList({"Quarvel", "quarvel"}));
}

TEST(Package, DebianPackageInstallsUnderUsrAndDependsOnTheQtPackagesItLinks)
{
    QTemporaryDir out;
    const Outcome cpack =
        run(QStringLiteral(QUARVEL_CPACK),
            {"--config", QUARVEL_BUILD_DIR "/CPackConfig.cmake", "-G", "DEB", "-B", out.path()});
    ASSERT_EQ(cpack.exitCode, 0) << cpack.output.toStdString();
    const QStringList debs = QDir(out.path()).entryList({"*.deb"}, QDir::Files);
    ASSERT_EQ(debs.size(), 1) << cpack.output.toStdString();
    const QString deb = out.filePath(debs.first());

    const Outcome depends =
        run("dpkg-deb", {"--field", deb, "Package", "Depends", "Recommends"});
    ASSERT_EQ(depends.exitCode, 0) << depends.output.toStdString();
    EXPECT_TRUE(depends.output.contains("Package: quarvel"));
    for (const char *package :
         {"libqt6core6", "libqt6network6", "libqt6widgets6", "libqt6webenginewidgets6", "libc6"})
        EXPECT_TRUE(depends.output.contains(QStringLiteral(" %1 (").arg(package)))
            << package << " missing in " << depends.output.toStdString();
    EXPECT_TRUE(depends.output.contains("Recommends: ca-certificates"))
        << depends.output.toStdString();

    const Outcome contents = run("dpkg-deb", {"--contents", deb});
    for (const char *entry :
         {"./usr/bin/Quarvel", "./usr/bin/quarvel -> Quarvel", "./usr/lib/libdornex.so.0 ->",
          "./usr/include/dornex/quarvel.h", "./usr/lib/cmake/Dornex/DornexConfig.cmake",
          "./usr/lib/pkgconfig/dornex.pc", "./usr/share/quarvel/lang.dat",
          "./usr/share/applications/quarvel.desktop"})
        EXPECT_TRUE(contents.output.contains(QString::fromUtf8(entry))) << entry;
}

} // namespace
