#include "htmllinks.h"

#include "modernpictures.h"

#include <array>

namespace
{

// The scan yields at its first opener and then once every this many openers:
// often enough for a live user interface, rarely enough to cost nothing
// measurable.
constexpr qsizetype YieldEvery = 4096;

// One kind of tag: the opener that starts it (lower case, ending in a space),
// how many characters of the tag text are cut off before the attribute search
// (the cut never changes which attribute is found), the attribute whose value
// it takes, and where the value goes.
enum class Target { Base, Anchors, Images };

struct Opener {
    QLatin1String Text;
    qsizetype Cut;
    QLatin1String Attribute;
    Target Into;
};

constexpr std::array<Opener, 3> Openers{{
    {QLatin1String("<base "), 5, QLatin1String("href="), Target::Base},
    {QLatin1String("<a "), 3, QLatin1String("href="), Target::Anchors},
    {QLatin1String("<img "), 3, QLatin1String("src="), Target::Images},
}};

// One UTF-16 unit lower-cased on its own, as the whole page would be
// lower-cased unit by unit (so positions never shift).
char16_t LowerUnit(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80) return u >= u'A' && u <= u'Z' ? char16_t(u + 32) : u;
    return c.toLower().unicode();
}

// Whether the lower-cased text at position at begins with the (lower-case)
// word; the word must fit before end.
bool LowerStartsWith(QStringView text, qsizetype at, qsizetype end, QLatin1String word)
{
    if (end - at < word.size()) return false;
    for (qsizetype i = 0; i < word.size(); ++i) {
        if (LowerUnit(text[at + i]) != char16_t(uchar(word[i].toLatin1()))) return false;
    }
    return true;
}

// The opener that starts at the "<" at position at, if any.
const Opener *OpenerAt(QStringView text, qsizetype at)
{
    for (const Opener &opener : Openers) {
        if (LowerStartsWith(text, at, text.size(), opener.Text)) return &opener;
    }
    return nullptr;
}

// First position in [from, end) where the lower-cased text holds word, or -1.
qsizetype LowerIndexOf(QStringView text, qsizetype from, qsizetype end, QLatin1String word)
{
    for (qsizetype at = from; at + word.size() <= end; ++at) {
        if (LowerStartsWith(text, at, end, word)) return at;
    }
    return -1;
}

// Finds a character at or after a position, for positions that only move
// forward: an earlier answer is reused while it still lies ahead, so all the
// searches of one scan together read the text once.
class ForwardFinder
{
public:
    ForwardFinder(QStringView text, QChar wanted) : m_text(text), m_wanted(wanted) {}

    // Position of the first wanted character at or after position, or -1.
    qsizetype From(qsizetype position)
    {
        const bool reusable = m_searchedFrom >= 0 && position >= m_searchedFrom &&
                              (m_found < 0 || m_found >= position);
        if (!reusable) {
            m_found = m_text.indexOf(m_wanted, position);
            m_searchedFrom = position;
        }
        return m_found;
    }

private:
    QStringView m_text;
    QChar m_wanted;
    qsizetype m_searchedFrom = -1;
    qsizetype m_found = -1;
};

QStringView TakeUntilView(QStringView text, QChar delimiter)
{
    const qsizetype at = text.indexOf(delimiter);
    return at < 0 ? text : text.first(at);
}

// The value that starts right after "attribute=" and runs at most to the end
// of the tag text, freed of its quotes, apostrophes and control characters.
QString AttributeValue(QStringView rest)
{
    QStringView value =
        rest.startsWith(u'"') ? TakeUntilView(rest.sliced(1), u'"') : TakeUntilView(rest, u' ');
    if (value.endsWith(u'"')) value.chop(1);
    QString text = value.toString();
    if (text.contains(u'\'')) text.remove(u'\'');
    // Removed before the control characters go, so that a line break followed
    // by "ffb" disappears as a whole.
    if (text.contains(u'\r')) text.remove(QStringLiteral("\r\nffb"));
    StripControlChars(text);
    return text;
}

} // namespace

QString TakeUntil(QStringView text, QChar delimiter)
{
    return TakeUntilView(text, delimiter).toString();
}

void StripControlChars(QString &text)
{
    text.removeIf([](QChar c) { return c.unicode() < 32; });
}

// The rules are those of three passes over the page, one per opener, each
// starting a new search right after an opener it passed over or at the ">"
// of a tag whose value it took. Such a tag holds no other "<", so every pass
// visits every one of its openers, and what an opener yields depends on its
// position alone. One scan over the "<" of the page therefore gives the same
// values; anchors and images are collected apart and joined in pass order.
PageLinks HTML_GetAllURLs(const QString &page, const std::function<void()> &yield,
                          bool modernPictures)
{
    PageLinks result;
    if (page.isEmpty()) return result;
    // A shared copy keeps the text alive should a handler run by yield
    // replace the caller's string.
    const QString pageText = page;
    const QStringView text(pageText);
    QStringList images;
    ForwardFinder tagEnd(text, u'>');
    ModernPictureScan modern(text);
    qsizetype openers = 0;
    for (qsizetype open = text.indexOf(u'<'); open >= 0;) {
        unsigned hints = 0;
        const qsizetype next =
            modernPictures ? NextTagOpen(text, open + 1, hints) : text.indexOf(u'<', open + 1);
        if (hints != 0) modern.Visit(open, next, hints);
        const Opener *opener = OpenerAt(text, open);
        if (opener && yield && openers++ % YieldEvery == 0) yield();
        const qsizetype close = opener ? tagEnd.From(open) : -1;
        // A "<" inside the tag text means the ">" belongs to a later tag.
        if (close >= 0 && (next < 0 || next > close)) {
            // The attribute name matches anywhere in the rest of the tag, also
            // as the tail of a longer name or inside a quoted value; it must
            // be followed directly by "=".
            const qsizetype found =
                LowerIndexOf(text, open + opener->Cut, close, opener->Attribute);
            if (found >= 0) {
                const qsizetype valueStart = found + opener->Attribute.size();
                QString value = AttributeValue(text.sliced(valueStart, close - valueStart));
                if (opener->Into == Target::Base)
                    result.BaseAddress = std::move(value);
                else
                    (opener->Into == Target::Anchors ? result.Links : images)
                        .append(std::move(value));
            }
        }
        open = next;
    }
    result.Links.append(std::move(images));
    if (modernPictures) result.Links.append(modern.Take());
    return result;
}
