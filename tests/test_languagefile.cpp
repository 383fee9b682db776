// The language file: only the active block applies, unknown keys and kinds
// are reported, a short line ends the application, the message table fills,
// and the file on disk never changes.
#include "languagefile.h"
#include "programstate.h"
#include "scriptedquestions.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

// Records what the language file applies.
class RecordingTarget : public LanguageTarget
{
public:
    void Apply(const QString &section, const QString &key, Kind kind, const QString &text) override
    {
        const char *k = kind == Kind::Caption   ? "caption"
                        : kind == Kind::Tooltip ? "tooltip"
                                                : "text";
        applied << section + "/" + key + "/" + k + "=" + text;
    }
    QStringList applied;
};

class LanguageFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("lang.dat");
    }
    // Writes the readable lines scrambled, as the build does.
    void writeLang(const QByteArray &readable)
    {
        QByteArray bytes = readable;
        LanguageFile::Scramble(bytes);
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray onDisk() const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    LanguageFile::Outcome change(const QString &language)
    {
        target.applied.clear();
        questions.messages.clear();
        return LanguageFile::ChangeLanguage(path, language, target, texts, questions);
    }

    QTemporaryDir dir;
    QString path;
    RecordingTarget target;
    LanguageTexts texts;
    ScriptedQuestions questions;
};

const QByteArray BothBlocks =
    "FRMRAISEIE<qvrl>USEITCOMMAND<qvrl>CAPTION<qvrl>before any block\r\n"
    "LANGUAGE<qvrl>GERMAN\r\n"
    "FRMRAISEIE<qvrl>USEITCOMMAND<qvrl>CAPTION<qvrl>benutzen\r\n"
    "frmraiseie<qvrl>useitcommand<qvrl>tooltip<qvrl>\r\n"
    "FRMRAISEIE<qvrl>COMMAND1<qvrl>CAPTION<qvrl>not for the character buttons\r\n"
    "FRMRAISEIE<qvrl>COMMAND1<qvrl>TOOLTIP<qvrl>Zeichen markieren\r\n"
    "NOFORM<qvrl>TEXT1<qvrl><qvrl>Quarvel läuft schon\r\n"
    "NOFORM<qvrl>TEXT20<qvrl>anything<qvrl>zwanzig<qvrl>ignored\r\n"
    "NOFORM<qvrl>TEXT21<qvrl><qvrl>no such entry\r\n"
    "FRMDOWNLOADDATA<qvrl>LISTVIEW1ITEM4<qvrl>TEXT<qvrl>Status\r\n"
    "FRMWEBBROWSER<qvrl>CMDFORWARD<qvrl>CAPTION<qvrl>vor\r\n"
    "SOMEWHERE<qvrl>X<qvrl>CAPTION<qvrl>other sections are ignored\r\n"
    "LANGUAGE<qvrl>KLINGON\r\n"
    "FRMSHOWPICTURE<qvrl>FRMSHOWPICTURE<qvrl>CAPTION<qvrl>Bildbetrachter\r\n"
    "LANGUAGE<qvrl>ENGLISH\r\n"
    "FRMRAISEIE<qvrl>USEITCOMMAND<qvrl>CAPTION<qvrl>use it\r\n"
    "NOFORM<qvrl>TEXT1<qvrl><qvrl>Quarvel is already running\r\n";

} // namespace

TEST_F(LanguageFileTest, OnlyTheActiveBlockApplies)
{
    writeLang(BothBlocks);
    const QByteArray before = onDisk();
    ASSERT_EQ(change("german"), LanguageFile::Outcome::Applied);
    EXPECT_EQ(
        target.applied,
        QStringList(
            {"FRMRAISEIE/USEITCOMMAND/caption=benutzen",
             "FRMRAISEIE/USEITCOMMAND/tooltip=", "FRMRAISEIE/COMMAND1/tooltip=Zeichen markieren",
             "FRMDOWNLOADDATA/LISTVIEW1ITEM4/text=Status", "FRMWEBBROWSER/CMDFORWARD/caption=vor",
             "FRMSHOWPICTURE/FRMSHOWPICTURE/caption=Bildbetrachter"}));
    EXPECT_EQ(texts.LangText(0), QString::fromUtf8("Quarvel läuft schon"));
    EXPECT_EQ(texts.LangText(19), "zwanzig");
    EXPECT_TRUE(questions.messages.isEmpty()) << questions.messages.join('|').toStdString();

    // Switching applies the other block at once.
    ASSERT_EQ(change("english"), LanguageFile::Outcome::Applied);
    EXPECT_EQ(target.applied, QStringList({"FRMRAISEIE/USEITCOMMAND/caption=use it"}));
    EXPECT_EQ(texts.LangText(0), "Quarvel is already running");
    EXPECT_EQ(onDisk(), before);
}

TEST_F(LanguageFileTest, NoMatchingBlockEndsTheProgram)
{
    writeLang(BothBlocks);
    // Compared exactly: capitals find nothing.
    EXPECT_EQ(change("German"), LanguageFile::Outcome::NoLanguageFound);
    EXPECT_EQ(questions.messages, QStringList({"No language found in file LANG.DAT!!!"}));
    EXPECT_EQ(change("french"), LanguageFile::Outcome::NoLanguageFound);

    writeLang("");
    EXPECT_EQ(change("german"), LanguageFile::Outcome::NoLanguageFound);
    QFile::remove(path);
    EXPECT_EQ(change("german"), LanguageFile::Outcome::NoLanguageFound);
    EXPECT_EQ(questions.messages, QStringList({"No language found in file LANG.DAT!!!"}));
}

TEST_F(LanguageFileTest, UnknownKeysAndKindsAreReportedAndPassedOver)
{
    writeLang("LANGUAGE<qvrl>ENGLISH\r\n"
              "FRMRAISEIE<qvrl>NOSUCHBUTTON<qvrl>TOOLTIP<qvrl>t1\r\n"
              "FRMDOWNLOADDATA<qvrl>LISTVIEW2ITEM9<qvrl>TEXT<qvrl>t2\r\n"
              "FRMDOWNLOADDATA<qvrl>NOPE<qvrl>CAPTION<qvrl>t3\r\n"
              "FRMRAISEIE<qvrl>USEITCOMMAND<qvrl>TEXT<qvrl>t4\r\n"
              "FRMRLIE<qvrl>CHKMULTIDNL<qvrl>COLOUR<qvrl>t5\r\n"
              "FRMRLIE<qvrl>CMDGETFILESFROMCP<qvrl>CAPTION<qvrl>t6\r\n"
              "FRMRLIE<qvrl>PICWAITBAR<qvrl>CAPTION<qvrl>accepted, ignored\r\n"
              "FRMRLIE<qvrl>CHECK1(4)<qvrl>CAPTION<qvrl>other types\r\n");
    ASSERT_EQ(change("english"), LanguageFile::Outcome::Applied);
    const QString wrong = "wrong parameter in language file!!!";
    EXPECT_EQ(questions.messages,
              QStringList({wrong, "FRMRAISEIE tool t1", wrong, "FRMDOWNLOADDATA text t2", wrong,
                           "FRMDOWNLOADDATA CAPTION t3", wrong, "FRMRAISEIE t4", wrong,
                           "FRMRLIE tool t5", wrong, "FRMRLIE CAPTION t6"}));
    EXPECT_EQ(target.applied, QStringList({"FRMRLIE/CHECK1(4)/caption=other types"}));
}

TEST_F(LanguageFileTest, AShortLineReportsAnErrorAndEndsTheApplication)
{
    writeLang("LANGUAGE<qvrl>ENGLISH\n"
              "FRMRAISEIE<qvrl>USEITCOMMAND<qvrl>CAPTION<qvrl>use it\n"
              "FRMRAISEIE<qvrl>TOURLLISTCOMMAND<qvrl>CAPTION\n"
              "FRMRAISEIE<qvrl>RAISELOWERCOMMAND<qvrl>CAPTION<qvrl>never applied\n");
    const QByteArray before = onDisk();
    EXPECT_EQ(change("english"), LanguageFile::Outcome::Error);
    EXPECT_EQ(target.applied, QStringList({"FRMRAISEIE/USEITCOMMAND/caption=use it"}));
    ASSERT_EQ(questions.messages.size(), 1);
    EXPECT_EQ(questions.messages.at(0),
              "Error 9 in procedure 'ChangeLanguage' in line 3: Subscript out of range");
    // The file stays scrambled on disk, byte for byte.
    EXPECT_EQ(onDisk(), before);
}

TEST(Scramble, TwiceRestoresEveryByteAndOnceHidesTheText)
{
    QByteArray bytes;
    for (int i = 0; i < 4096; ++i)
        bytes.append(char(i % 256));
    QByteArray scrambled = bytes;
    LanguageFile::Scramble(scrambled);
    EXPECT_NE(scrambled, bytes);
    EXPECT_EQ(scrambled.size(), bytes.size());
    QByteArray again = scrambled;
    LanguageFile::Scramble(again);
    EXPECT_EQ(again, bytes);

    QTemporaryDir dir;
    const QString path = dir.filePath("lang.dat");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("LANGUAGE<qvrl>GERMAN\r\n");
    f.close();
    ASSERT_TRUE(LanguageFile::ScrambleFile(path));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_FALSE(f.readAll().contains("LANGUAGE"));
    f.close();
    ASSERT_TRUE(LanguageFile::ScrambleFile(path));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "LANGUAGE<qvrl>GERMAN\r\n");
}
