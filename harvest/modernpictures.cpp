#include "modernpictures.h"

#include <array>
#include <optional>

namespace
{

// The attributes whose whole value is one picture address, on any tag.
constexpr std::array<QLatin1String, 8> LazyAttributes{{
    QLatin1String("data-src"),
    QLatin1String("data-original"),
    QLatin1String("data-lazy-src"),
    QLatin1String("data-orig-file"),
    QLatin1String("data-full"),
    QLatin1String("data-large-file"),
    QLatin1String("data-pswp-src"),
    QLatin1String("data-zoom-image"),
}};

bool IsSpace(QChar c)
{
    const char16_t u = c.unicode();
    return u == u' ' || u == u'\t' || u == u'\n' || u == u'\r' || u == u'\f';
}

char16_t LowerAscii(QChar c)
{
    const char16_t u = c.unicode();
    return u >= u'A' && u <= u'Z' ? char16_t(u + 32) : u;
}

// Whether text holds the (lower-case) word at position at, in any letter case.
bool LowerAt(QStringView text, qsizetype at, QLatin1String word)
{
    if (at < 0 || text.size() - at < word.size()) return false;
    for (qsizetype i = 0; i < word.size(); ++i) {
        if (LowerAscii(text[at + i]) != char16_t(uchar(word[i].toLatin1()))) return false;
    }
    return true;
}

bool IsTagName(QStringView text, qsizetype at, QLatin1String name)
{
    const qsizetype after = at + name.size();
    return LowerAt(text, at, name) && (after >= text.size() || IsSpace(text[after]) ||
                                       text[after] == u'/' || text[after] == u'>');
}

// Whether [from, end) holds "srcset" followed by "=" (blanks between allowed).
bool HoldsSrcset(QStringView text, qsizetype from, qsizetype end)
{
    const QStringView region = text.sliced(from, end - from);
    for (qsizetype equals = region.indexOf(u'='); equals >= 0;
         equals = region.indexOf(u'=', equals + 1)) {
        qsizetype name = equals;
        while (name > 0 && IsSpace(region[name - 1]))
            --name;
        if (name >= 6 && LowerAt(region, name - 6, QLatin1String("srcset"))) return true;
    }
    return false;
}

QStringView Trimmed(QStringView value)
{
    while (!value.isEmpty() && IsSpace(value.front()))
        value = value.sliced(1);
    while (!value.isEmpty() && IsSpace(value.back()))
        value.chop(1);
    return value;
}

// A candidate's descriptor: "Nw" or "Nx" (nothing else counts as valid).
struct Descriptor {
    bool Width = false;
    double Value = 1.0;
};

std::optional<Descriptor> ParseDescriptors(QStringView text)
{
    Descriptor result;
    bool seen = false;
    for (QStringView token : text.tokenize(u' ', Qt::SkipEmptyParts)) {
        token = Trimmed(token);
        if (token.isEmpty()) continue;
        const char16_t unit = LowerAscii(token.back());
        bool ok = false;
        const double number = token.chopped(1).toDouble(&ok);
        if (unit == u'h') continue; // a height alone changes nothing here
        if (seen || !ok || number <= 0 || (unit != u'w' && unit != u'x')) return std::nullopt;
        if (unit == u'w' && token.chopped(1).contains(u'.')) return std::nullopt;
        result = {unit == u'w', number};
        seen = true;
    }
    return result;
}

} // namespace

QString LargestSrcsetCandidate(QStringView srcset)
{
    QStringView best;
    Descriptor bestDescriptor;
    bool found = false;
    qsizetype at = 0;
    const qsizetype size = srcset.size();
    while (at < size) {
        while (at < size && (IsSpace(srcset[at]) || srcset[at] == u','))
            ++at;
        if (at >= size) break;
        const qsizetype urlStart = at;
        while (at < size && !IsSpace(srcset[at]))
            ++at;
        QStringView url = srcset.sliced(urlStart, at - urlStart);
        QStringView descriptors;
        if (url.endsWith(u',')) {
            while (url.endsWith(u','))
                url.chop(1);
        } else {
            // Descriptors run to the next comma outside parentheses.
            const qsizetype descriptorStart = at;
            int depth = 0;
            while (at < size && (srcset[at] != u',' || depth > 0)) {
                if (srcset[at] == u'(') ++depth;
                if (srcset[at] == u')' && depth > 0) --depth;
                ++at;
            }
            descriptors = srcset.sliced(descriptorStart, at - descriptorStart);
            if (at < size) ++at;
        }
        if (url.isEmpty()) continue;
        QString spaced = descriptors.toString();
        for (QChar &c : spaced)
            if (IsSpace(c)) c = u' ';
        const std::optional<Descriptor> descriptor = ParseDescriptors(spaced);
        if (!descriptor) continue;
        // A width beats any density; within a kind the larger value wins,
        // and of equal ones the first.
        const bool better =
            !found || (descriptor->Width && !bestDescriptor.Width) ||
            (descriptor->Width == bestDescriptor.Width && descriptor->Value > bestDescriptor.Value);
        if (better) {
            best = url;
            bestDescriptor = *descriptor;
            found = true;
        }
    }
    return best.toString();
}

QString DecodeEntities(QStringView value)
{
    if (!value.contains(u'&')) return value.toString();
    static const std::array<std::pair<QLatin1String, char16_t>, 6> named{{
        {QLatin1String("amp;"), u'&'},
        {QLatin1String("lt;"), u'<'},
        {QLatin1String("gt;"), u'>'},
        {QLatin1String("quot;"), u'"'},
        {QLatin1String("apos;"), u'\''},
        {QLatin1String("nbsp;"), char16_t(0xA0)},
    }};
    QString result;
    result.reserve(value.size());
    for (qsizetype at = 0; at < value.size();) {
        if (value[at] != u'&') {
            result += value[at++];
            continue;
        }
        bool done = false;
        for (const auto &[name, character] : named) {
            if (LowerAt(value, at + 1, name)) {
                result += QChar(character);
                at += 1 + name.size();
                done = true;
                break;
            }
        }
        if (!done && at + 1 < value.size() && value[at + 1] == u'#') {
            const bool hex = at + 2 < value.size() && LowerAscii(value[at + 2]) == u'x';
            const qsizetype digits = at + (hex ? 3 : 2);
            const qsizetype semicolon = value.indexOf(u';', digits);
            bool ok = false;
            const uint code =
                semicolon > digits && semicolon - digits <= 8
                    ? value.sliced(digits, semicolon - digits).toUInt(&ok, hex ? 16 : 10)
                    : 0;
            if (ok) {
                const char32_t c =
                    code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)
                        ? char32_t(0xFFFD)
                        : char32_t(code);
                result += QString::fromUcs4(&c, 1);
                at = semicolon + 1;
                done = true;
            }
        }
        if (!done) result += value[at++];
    }
    return result;
}

bool IsPlaceholderPicture(QStringView address)
{
    address = Trimmed(address);
    if (LowerAt(address, 0, QLatin1String("data:"))) return true;
    qsizetype end = address.size();
    for (const char16_t stop : {u'?', u'#'}) {
        const qsizetype at = address.indexOf(stop);
        if (at >= 0 && at < end) end = at;
    }
    const QString name =
        address.first(end).sliced(address.first(end).lastIndexOf(u'/') + 1).toString().toLower();
    return name.contains(QLatin1String("1x1")) || name.contains(u"1\u00D71") ||
           name.contains(QLatin1String("blank")) || name.contains(QLatin1String("spacer")) ||
           name.contains(QLatin1String("placeholder"));
}

qsizetype ModernPictureScan::NextDataDash(qsizetype from)
{
    // The answer is kept while it lies ahead, so the page is searched once.
    if (m_dataDash == NotSearched || (m_dataDash >= 0 && m_dataDash < from)) {
        qsizetype dash = m_text.indexOf(u'-', qMax(from, qsizetype(4)));
        while (dash >= 0 && !LowerAt(m_text, dash - 4, QLatin1String("data")))
            dash = m_text.indexOf(u'-', dash + 1);
        m_dataDash = dash;
    }
    return m_dataDash;
}

qsizetype ModernPictureScan::NextSrcset(qsizetype from)
{
    // A search for a word of six letters skips ahead several characters a
    // step; as above, one search over the page in all.
    if (m_srcset == NotSearched || (m_srcset >= 0 && m_srcset < from))
        m_srcset = m_text.indexOf(QLatin1String("srcset"), from, Qt::CaseInsensitive);
    return m_srcset;
}

void ModernPictureScan::Visit(qsizetype open, qsizetype next)
{
    if (open < m_consumed) return;
    const qsizetype name = open + 1;
    if (name >= m_text.size() || m_text[name].unicode() >= 0x80 || !m_text[name].isLetter()) return;
    const qsizetype end = next < 0 ? m_text.size() : next;
    const qsizetype dataDash = NextDataDash(name);
    const bool isImage = IsTagName(m_text, name, QLatin1String("img"));
    const bool imageOrSource = isImage || IsTagName(m_text, name, QLatin1String("source"));
    if ((dataDash >= 0 && dataDash < end) || (imageOrSource && HoldsSrcset(m_text, name, end)))
        ReadTag(open, imageOrSource, isImage);
}

// Reads the tag's attributes as a browser does: names end at blanks, "/",
// ">" or "="; values may be quoted (and then hold ">" and blanks).
void ModernPictureScan::ReadTag(qsizetype open, bool imageOrSource, bool isImage)
{
    const QStringView text = m_text;
    const qsizetype size = text.size();
    qsizetype at = open + 1;
    while (at < size && !IsSpace(text[at]) && text[at] != u'/' && text[at] != u'>')
        ++at;
    struct Attribute {
        QStringView Name;
        QStringView Value;
    };
    QList<Attribute> attributes;
    while (at < size) {
        while (at < size && (IsSpace(text[at]) || text[at] == u'/'))
            ++at;
        if (at >= size) break;
        if (text[at] == u'>') {
            ++at;
            break;
        }
        const qsizetype nameStart = at++;
        while (at < size && !IsSpace(text[at]) && text[at] != u'/' && text[at] != u'>' &&
               text[at] != u'=')
            ++at;
        const QStringView name = text.sliced(nameStart, at - nameStart);
        qsizetype look = at;
        while (look < size && IsSpace(text[look]))
            ++look;
        QStringView value;
        if (look < size && text[look] == u'=') {
            at = look + 1;
            while (at < size && IsSpace(text[at]))
                ++at;
            if (at < size && (text[at] == u'"' || text[at] == u'\'')) {
                const qsizetype close = text.indexOf(text[at], at + 1);
                const qsizetype valueEnd = close < 0 ? size : close;
                value = text.sliced(at + 1, valueEnd - at - 1);
                at = close < 0 ? size : close + 1;
            } else {
                const qsizetype valueStart = at;
                while (at < size && !IsSpace(text[at]) && text[at] != u'>')
                    ++at;
                value = text.sliced(valueStart, at - valueStart);
            }
        }
        attributes.append({name, value});
    }
    m_consumed = at;

    const auto nameIs = [](QStringView name, QLatin1String wanted) {
        return name.size() == wanted.size() && LowerAt(name, 0, wanted);
    };
    const auto isLazy = [&](QStringView name) {
        for (const QLatin1String lazy : LazyAttributes)
            if (nameIs(name, lazy)) return true;
        return false;
    };
    const auto isSrcset = [&](QStringView name) {
        return imageOrSource && (nameIs(name, QLatin1String("srcset")) ||
                                 nameIs(name, QLatin1String("data-srcset")));
    };

    // An <img> whose src only holds the place of a picture loaded later:
    // that address is never taken for the picture.
    QString placeholder;
    if (isImage) {
        bool lazy = false;
        const Attribute *src = nullptr;
        for (const Attribute &attribute : attributes) {
            lazy = lazy || isLazy(attribute.Name) || isSrcset(attribute.Name);
            if (!src && nameIs(attribute.Name, QLatin1String("src"))) src = &attribute;
        }
        if (lazy && src) {
            const QString decoded = Trimmed(DecodeEntities(src->Value)).toString();
            if (IsPlaceholderPicture(decoded)) placeholder = decoded;
        }
    }
    for (const Attribute &attribute : attributes) {
        if (isSrcset(attribute.Name))
            Add(LargestSrcsetCandidate(DecodeEntities(attribute.Value)), placeholder);
        else if (isLazy(attribute.Name))
            Add(DecodeEntities(attribute.Value), placeholder);
    }
}

void ModernPictureScan::Add(const QString &value, const QString &placeholder)
{
    QString address = Trimmed(value).toString();
    address.removeIf([](QChar c) { return c.unicode() < 32; });
    if (address.isEmpty() || LowerAt(address, 0, QLatin1String("data:"))) return;
    if (!placeholder.isEmpty() && address == placeholder) return;
    m_values.append(std::move(address));
}
