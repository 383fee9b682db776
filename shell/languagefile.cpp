#include "languagefile.h"

#include "questions.h"

#include <QFile>
#include <QSaveFile>
#include <QSet>

#include <cmath>

namespace
{

// The scrambling generator: splitmix64 from a fixed seed, so every build and
// every run produces the same key sequence.
class ScrambleGenerator
{
public:
    // The next number r with 0 <= r < 1.
    double Next()
    {
        quint64 z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        z ^= z >> 31;
        return double(z >> 11) * (1.0 / 9007199254740992.0);
    }

private:
    quint64 m_state = 0x51756172766C4C44ULL;
};

// The keys each window section accepts, and the prefixes of its diagnostics.
struct Section {
    QString name;
    QSet<QString> tooltip;        // keys applied as tooltips
    QSet<QString> caption;        // keys applied as captions
    QSet<QString> text;           // keys applied as column headers
    QSet<QString> ignoredTooltip; // keys accepted and left alone
    QSet<QString> ignoredCaption;
    QString toolPrefix, captionPrefix, textPrefix, kindPrefix;
};

QSet<QString> keys(std::initializer_list<const char *> names)
{
    QSet<QString> set;
    for (const char *n : names)
        set.insert(QString::fromLatin1(n));
    return set;
}

const QList<Section> &sections()
{
    static const QList<Section> table = [] {
        QList<Section> t;
        t.append({QStringLiteral("FRMRAISEIE"),
                  keys({"PICTURE1", "COMMAND1", "USEITCOMMAND", "TOURLLISTCOMMAND",
                        "RAISELOWERCOMMAND"}),
                  keys({"USEITCOMMAND", "TOURLLISTCOMMAND", "RAISELOWERCOMMAND"}),
                  {},
                  {},
                  keys({"PICTURE1", "COMMAND1"}),
                  QStringLiteral("FRMRAISEIE tool "),
                  QStringLiteral("FRMRAISEIE caption "),
                  {},
                  QStringLiteral("FRMRAISEIE ")});

        const QSet<QString> download =
            keys({"CMDSAVEURLLIST", "CMDLOADURLLIST", "CMDDELETEFROMURLLIST", "CMDCLEARURLLIST",
                  "CMDPUT2DOWNLOADLIST", "CMDSTOPFILLINGDOWNLOADLIST", "FRAMEURLLIST",
                  "FRAMEDOWNLOADLIST", "CMDSAVEDOWNLOADLIST", "CMDLOADDOWNLOADLIST",
                  "CMDOPENTARGETDIR", "COMMAND1", "CMDRESTARTSELECTEDDOWNLOADS", "CMDSTOPDOWNLOAD",
                  "CMDSTOPALLRUNNINGDOWNLOADS", "CMDDELETEFROMLIST", "COMMAND2", "CMDPICTUREMODE",
                  "CMDFORGETARCHIVE"});
        QSet<QString> columns;
        for (int i = 1; i <= 10; ++i)
            columns.insert(QStringLiteral("LISTVIEW1ITEM%1").arg(i));
        for (int i = 1; i <= 8; ++i)
            columns.insert(QStringLiteral("LISTVIEW2ITEM%1").arg(i));
        t.append({QStringLiteral("FRMDOWNLOADDATA"),
                  download,
                  download + keys({"FRMDOWNLOADDATA"}),
                  columns,
                  keys({"FRMDOWNLOADDATA"}),
                  {},
                  QStringLiteral("FRMDOWNLOADDATA tool "),
                  QStringLiteral("FRMDOWNLOADDATA CAPTION "),
                  QStringLiteral("FRMDOWNLOADDATA text "),
                  QStringLiteral("FRMDOWNLOADDATA ")});

        const QSet<QString> broken =
            keys({"LABEL1", "CMDLOAD", "CMDNORMALSTARTUP", "CMDCLEARBROKENDNL"});
        // The headers of the list of broken downloads.
        t.append({QStringLiteral("FRMLOADDELETEBROKEN"),
                  broken,
                  broken + keys({"FRMLOADDELETEBROKEN"}),
                  keys({"LSTBROKENITEM1", "LSTBROKENITEM2", "LSTBROKENITEM3"}),
                  keys({"FRMLOADDELETEBROKEN"}),
                  {},
                  QStringLiteral("FRMLOADDELETEBROKEN tool "),
                  QStringLiteral("FRMLOADDELETEBROKEN CAPTION "),
                  QStringLiteral("FRMLOADDELETEBROKEN text "),
                  QStringLiteral("FRMLOADDELETEBROKEN ")});

        const QSet<QString> options = keys({"PICWAITBAR",
                                            "COMMAND1",
                                            "COMMAND2",
                                            "CMDSWAPRL",
                                            "CMDUSEIT",
                                            "CMDSTOPDNL",
                                            "CMDATTACHOPTIONS2URLLIST",
                                            "CMDATTACHOPTIONS2DOWNLOADLIST",
                                            "FRMFILETYPES2DOWNLOAD",
                                            "CHECK1(4)",
                                            "LBLSEARCHPATTERN",
                                            "FRMTARGETDIRECTORY",
                                            "CMDTARGETDIR",
                                            "FRMMULTIDNL",
                                            "TXTMULTIDNL",
                                            "CHKMULTIDNL",
                                            "FRMNUMOFSIMDOWNLOADS",
                                            "FRMRECINDEXDEPTH",
                                            "CHKSTAYONSITE",
                                            "CHKJUSTGODOWN",
                                            "FRMMINFILESIZE",
                                            "CHKUNIQUEFILENAME",
                                            "CHKDOEXTRACLICK",
                                            "CHKVIEWBROWSER",
                                            "CHKCLIPBOARD2URLLIST",
                                            "CHKSKIPDOWNLOADED",
                                            "CHKBROWSERLOGIN",
                                            "CHKKEEPCONNECTIONS",
                                            "CHKMODERNPICTURES",
                                            "LBLPERSERVER"});
        QSet<QString> optionCaptions = options + keys({"FRMRLIE"});
        optionCaptions.remove(QStringLiteral("PICWAITBAR"));
        optionCaptions.remove(QStringLiteral("TXTMULTIDNL"));
        t.append({QStringLiteral("FRMRLIE"),
                  options + keys({"CMDGETFILESFROMCP"}),
                  optionCaptions,
                  {},
                  keys({"FRMRLIE"}),
                  keys({"PICWAITBAR", "TXTMULTIDNL"}),
                  QStringLiteral("FRMRLIE tool "),
                  QStringLiteral("FRMRLIE CAPTION "),
                  {},
                  QStringLiteral("FRMRLIE tool ")});

        t.append({QStringLiteral("FRMSHOWPICTURE"),
                  {},
                  keys({"FRMSHOWPICTURE"}),
                  {},
                  keys({"FRMSHOWPICTURE"}),
                  {},
                  QStringLiteral("FRMSHOWPICTURE tool "),
                  QStringLiteral("FRMSHOWPICTURE CAPTION "),
                  {},
                  QStringLiteral("FRMSHOWPICTURE ")});

        const QSet<QString> browser = keys(
            {"CMDBACK", "CMDFORWARD", "CMDDOWNLOAD", "CMDUSEIT", "CMDRL", "CMDCHANGERL", "LABEL1"});
        t.append({QStringLiteral("FRMWEBBROWSER"),
                  browser,
                  browser,
                  {},
                  {},
                  {},
                  QStringLiteral("FRMWEBBROWSER tool "),
                  QStringLiteral("FRMWEBBROWSER CAPTION "),
                  {},
                  QStringLiteral("FRMWEBBROWSER ")});
        return t;
    }();
    return table;
}

const Section *findSection(const QString &name)
{
    for (const Section &s : sections())
        if (s.name == name) return &s;
    return nullptr;
}

const QString WrongParameter = QStringLiteral("wrong parameter in language file!!!");
const QString Title = QStringLiteral("Quarvel");

} // namespace

namespace LanguageFile
{

void Scramble(QByteArray &bytes)
{
    ScrambleGenerator gen;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto key = static_cast<unsigned char>(std::floor(gen.Next() * 255.0));
        bytes[i] = char(static_cast<unsigned char>(bytes[i]) ^ key);
    }
}

bool ScrambleFile(const QString &path)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) return false;
    QByteArray bytes = in.readAll();
    in.close();
    Scramble(bytes);
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) return false;
    out.write(bytes);
    return out.commit();
}

Outcome ChangeLanguage(const QString &path, const QString &language, LanguageTarget &target,
                       LanguageTexts &texts, Questions &questions)
{
    // The file is unscrambled in memory only: it stays on disk as it was,
    // whatever happens while applying it.
    QByteArray bytes;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) bytes = file.readAll();
    file.close();
    Scramble(bytes);

    bool found = false;
    bool active = false;
    const QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    for (int number = 1; number <= lines.size() && !bytes.isEmpty(); ++number) {
        QString line = lines.at(number - 1);
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
        const QStringList fields = line.split(QStringLiteral("<qvrl>"));
        if (fields.size() < 2) continue;
        const QString head = fields.at(0).toUpper();
        if (head == QLatin1String("LANGUAGE")) {
            const QString name = fields.at(1).toUpper();
            if (name == QLatin1String("GERMAN")) {
                active = language == QLatin1String("german");
                found = found || active;
            } else if (name == QLatin1String("ENGLISH")) {
                active = language == QLatin1String("english");
                found = found || active;
            }
            continue;
        }
        if (!active) continue;
        const Section *section = findSection(head);
        if (!section && head != QLatin1String("NOFORM")) continue;

        // A line of a known section needs its key, kind and text fields.
        const bool noForm = section == nullptr;
        if (fields.size() < 4) {
            questions.Message(QStringLiteral("Error 9 in procedure 'ChangeLanguage' in line %1: "
                                             "Subscript out of range")
                                  .arg(number),
                              Questions::Buttons::Ok, Questions::Icon::Critical, Title);
            return Outcome::Error;
        }
        const QString key = fields.at(1).toUpper();
        const QString text = fields.at(3);
        if (noForm) {
            if (key.startsWith(QLatin1String("TEXT"))) {
                bool ok = false;
                const int n = key.mid(4).toInt(&ok);
                if (ok && n >= 1 && n <= LanguageTexts::Count &&
                    key == QStringLiteral("TEXT%1").arg(n)) {
                    texts.SetLangText(n - 1, text);
                    continue;
                }
            }
            // Every other key is a named text of the messages added since.
            texts.SetText(key, text);
            continue;
        }

        const QString kind = fields.at(2).toUpper();
        const QSet<QString> *known = nullptr;
        const QSet<QString> *ignored = nullptr;
        QString prefix;
        LanguageTarget::Kind targetKind = LanguageTarget::Kind::Caption;
        if (kind == QLatin1String("TOOLTIP")) {
            known = &section->tooltip;
            ignored = &section->ignoredTooltip;
            prefix = section->toolPrefix;
            targetKind = LanguageTarget::Kind::Tooltip;
        } else if (kind == QLatin1String("CAPTION")) {
            known = &section->caption;
            ignored = &section->ignoredCaption;
            prefix = section->captionPrefix;
        } else if (kind == QLatin1String("TEXT") && !section->textPrefix.isEmpty()) {
            known = &section->text;
            prefix = section->textPrefix;
            targetKind = LanguageTarget::Kind::Text;
        }
        if (!known) {
            questions.Message(WrongParameter, Questions::Buttons::Ok, Questions::Icon::None, Title);
            questions.Message(section->kindPrefix + text, Questions::Buttons::Ok,
                              Questions::Icon::None, Title);
            continue;
        }
        if (ignored && ignored->contains(key)) continue;
        if (!known->contains(key)) {
            questions.Message(WrongParameter, Questions::Buttons::Ok, Questions::Icon::None, Title);
            questions.Message(prefix + text, Questions::Buttons::Ok, Questions::Icon::None, Title);
            continue;
        }
        target.Apply(section->name, key, targetKind, text);
    }

    if (!found) {
        questions.Message(QStringLiteral("No language found in file LANG.DAT!!!"),
                          Questions::Buttons::Ok, Questions::Icon::None, Title);
        return Outcome::NoLanguageFound;
    }
    return Outcome::Applied;
}

} // namespace LanguageFile
