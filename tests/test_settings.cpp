// The settings file: reading with its key and "|" rules, defaults when it is
// missing or empty, and the fixed two-line form it is always written in.
#include "programstate.h"
#include "settingsstore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

class SettingsTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    void writeIni(const QByteArray &bytes)
    {
        QFile f(store.Path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray ini() const
    {
        QFile f(store.Path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    bool read()
    {
        return store.ReadSettings([this](const QString &l) { languagesApplied << l; });
    }

    QTemporaryDir dir;
    ProgramSettings settings;
    SettingsStore store{dir.path(), settings};
    QStringList languagesApplied;
};

} // namespace

TEST_F(SettingsTest, FirstStartCreatesIncomingAndTheFileWithGerman)
{
    ASSERT_TRUE(read());
    const QString incoming = dir.path() + "/incoming/";
    EXPECT_EQ(settings.TargetDir, incoming);
    EXPECT_EQ(settings.Language, "german");
    EXPECT_TRUE(QDir(incoming).exists());
    EXPECT_EQ(ini(), "targetdirectory|" + incoming.toUtf8() + "\r\nlanguage|german\r\n");
    EXPECT_EQ(languagesApplied, QStringList({"german"}));
}

TEST_F(SettingsTest, KeysInAnyCaseAndOrderAreReadAndRewrittenInFixedForm)
{
    writeIni("LANGUAGE|english\nTargetDirectory|/data/pics/\r\nno bar here\r\nother|x\r\n");
    ASSERT_TRUE(read());
    EXPECT_EQ(settings.TargetDir, "/data/pics/");
    EXPECT_EQ(settings.Language, "english");
    EXPECT_EQ(languagesApplied, QStringList({"english"}));
    // Nothing was missing: the file is left as it was until the next write.
    EXPECT_EQ(ini(), "LANGUAGE|english\nTargetDirectory|/data/pics/\r\nno bar here\r\nother|x\r\n");

    ASSERT_TRUE(store.WriteSetting("LANGUAGE", "german"));
    EXPECT_EQ(ini(), "targetdirectory|/data/pics/\r\nlanguage|german\r\n");
    EXPECT_EQ(settings.Language, "german");
}

TEST_F(SettingsTest, LaterLinesWinAndEveryLanguageLineIsApplied)
{
    writeIni("targetdirectory|a\r\nlanguage|english\r\nlanguage|german\r\n");
    ASSERT_TRUE(read());
    EXPECT_EQ(settings.TargetDir, "a");
    EXPECT_EQ(settings.Language, "german");
    EXPECT_EQ(languagesApplied, QStringList({"english", "german"}));
}

TEST_F(SettingsTest, AFolderHoldingBarsSurvivesTheRoundTrip)
{
    ASSERT_TRUE(read());
    ASSERT_TRUE(store.WriteSetting("targetdirectory", "/data/a|b||c|/"));
    settings = {};
    ASSERT_TRUE(read());
    EXPECT_EQ(settings.TargetDir, "/data/a|b||c|/");
    EXPECT_EQ(settings.Language, "german");
}

TEST_F(SettingsTest, EmptyFileOrEmptyValuesGiveTheDefaults)
{
    writeIni("");
    ASSERT_TRUE(read());
    EXPECT_EQ(settings.TargetDir, dir.path() + "/incoming/");
    EXPECT_EQ(settings.Language, "german");
    EXPECT_EQ(languagesApplied, QStringList({"german"}));
    EXPECT_TRUE(ini().startsWith("targetdirectory|"));

    settings = {};
    languagesApplied.clear();
    writeIni("targetdirectory|\r\nlanguage|english\r\n");
    ASSERT_TRUE(read());
    EXPECT_EQ(settings.TargetDir, dir.path() + "/incoming/");
    EXPECT_EQ(settings.Language, "english");
    EXPECT_EQ(ini(), "targetdirectory|" + (dir.path() + "/incoming/").toUtf8() +
                         "\r\nlanguage|english\r\n");

    settings = {};
    languagesApplied.clear();
    writeIni("targetdirectory|/t/\r\nlanguage|\r\n");
    ASSERT_TRUE(read());
    EXPECT_EQ(settings.Language, "german");
    EXPECT_EQ(languagesApplied, QStringList({"german"}));
}

TEST_F(SettingsTest, WritesKeepTheOtherSettingAndNeverBreakALine)
{
    ASSERT_TRUE(read());
    ASSERT_TRUE(store.WriteSetting("targetdirectory", "/new/dir/"));
    EXPECT_EQ(ini(), "targetdirectory|/new/dir/\r\nlanguage|german\r\n");
    ASSERT_TRUE(store.WriteSetting("Language", "english"));
    EXPECT_EQ(ini(), "targetdirectory|/new/dir/\r\nlanguage|english\r\n");
    ASSERT_TRUE(store.WriteSetting("targetdirectory", "/evil\r\nlanguage|x"));
    EXPECT_EQ(ini(), "targetdirectory|/evillanguage|x\r\nlanguage|english\r\n");
    // An unknown key leaves the file alone.
    const QByteArray before = ini();
    EXPECT_FALSE(store.WriteSetting("colour", "red"));
    EXPECT_EQ(ini(), before);

    // Later options follow as extra lines, only while they differ from their
    // defaults, and read back; a file without them gets the defaults.
    ASSERT_TRUE(store.WriteSetting("perserver", "4"));
    ASSERT_TRUE(store.WriteSetting("KeepConnections", "0"));
    EXPECT_EQ(ini(), before + "keepconnections|0\r\nperserver|4\r\n");
    ProgramSettings again;
    SettingsStore reread(dir.path(), again);
    ASSERT_TRUE(reread.ReadSettings({}));
    EXPECT_FALSE(again.KeepConnections);
    EXPECT_EQ(again.PerServer, 4);
    EXPECT_TRUE(again.ModernPictures);
    ASSERT_TRUE(store.WriteSetting("keepconnections", "1"));
    EXPECT_EQ(ini(), before + "perserver|4\r\n");
}

TEST_F(SettingsTest, WriteWithoutAFileFallsBackToTheIncomingFolder)
{
    settings.TargetDir = "/somewhere/";
    settings.Language = "english";
    ASSERT_TRUE(store.WriteSetting("language", "english"));
    EXPECT_EQ(ini(), "targetdirectory|" + (dir.path() + "/incoming/").toUtf8() +
                         "\r\nlanguage|english\r\n");
}
