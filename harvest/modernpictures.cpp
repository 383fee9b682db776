#include "modernpictures.h"

#include <array>
#include <bit>
#include <optional>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

// Whether the text holds "data-" in any letter case.
bool HoldsDataDash(QStringView text)
{
    for (qsizetype dash = text.indexOf(u'-'); dash >= 0; dash = text.indexOf(u'-', dash + 1)) {
        if (dash >= 4 && LowerAt(text, dash - 4, QLatin1String("data"))) return true;
    }
    return false;
}

// Whether the text holds "srcset" in any letter case.
bool HoldsSrcset(QStringView text)
{
    for (qsizetype c = 0; c + 4 <= text.size(); ++c) {
        if (LowerAscii(text[c]) == u'c' && LowerAscii(text[c + 1]) == u's' &&
            LowerAt(text, c - 2, QLatin1String("srcset")))
            return true;
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

qsizetype NextTagOpen(QStringView text, qsizetype from, unsigned &hints)
{
    const char16_t *units = text.utf16();
    const qsizetype size = text.size();
    qsizetype at = qMax<qsizetype>(from, 0);
#ifdef __SSE2__
    // Sixteen units a step: "<" ends the search; "-" and the pair "cs" in any
    // letter case (OR 0x20 folds only "C" onto "c" and "S" onto "s") are
    // noted. The pair's second unit is read one unit ahead. A step without
    // any of them costs one test.
    const __m128i open = _mm_set1_epi16(u'<');
    const __m128i dash = _mm_set1_epi16(u'-');
    const __m128i fold = _mm_set1_epi16(0x20);
    const __m128i c = _mm_set1_epi16(u'c');
    const __m128i s = _mm_set1_epi16(u's');
    const auto load = [units](qsizetype i) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i *>(units + i));
    };
    const auto pair = [&](__m128i here, __m128i ahead) {
        return _mm_and_si128(_mm_cmpeq_epi16(_mm_or_si128(here, fold), c),
                             _mm_cmpeq_epi16(_mm_or_si128(ahead, fold), s));
    };
    const auto mask = [](__m128i low, __m128i high) {
        return unsigned(_mm_movemask_epi8(low)) | unsigned(_mm_movemask_epi8(high)) << 16;
    };
    for (; at + 17 <= size; at += 16) {
        const __m128i low = load(at);
        const __m128i high = load(at + 8);
        const __m128i openLow = _mm_cmpeq_epi16(low, open);
        const __m128i openHigh = _mm_cmpeq_epi16(high, open);
        const __m128i dashLow = _mm_cmpeq_epi16(low, dash);
        const __m128i dashHigh = _mm_cmpeq_epi16(high, dash);
        const __m128i pairLow = pair(low, load(at + 1));
        const __m128i pairHigh = pair(high, load(at + 9));
        const __m128i any = _mm_or_si128(
            _mm_or_si128(_mm_or_si128(openLow, openHigh), _mm_or_si128(dashLow, dashHigh)),
            _mm_or_si128(pairLow, pairHigh));
        if (_mm_movemask_epi8(any) == 0) continue;
        const unsigned opens = mask(openLow, openHigh);
        const unsigned before = opens ? (opens & (0u - opens)) - 1 : ~0u;
        if (mask(dashLow, dashHigh) & before) hints |= HintDash;
        if (mask(pairLow, pairHigh) & before) hints |= HintSrcset;
        if (opens) return at + qsizetype(std::countr_zero(opens) / 2);
    }
#endif
    for (; at < size; ++at) {
        const char16_t unit = units[at];
        if (unit == u'<') return at;
        if (unit == u'-') hints |= HintDash;
        if ((unit | 0x20) == u'c' && at + 1 < size && (units[at + 1] | 0x20) == u's')
            hints |= HintSrcset;
    }
    return -1;
}

void ModernPictureScan::Visit(qsizetype open, qsizetype next, unsigned hints)
{
    if (hints == 0 || open < m_consumed) return;
    const qsizetype name = open + 1;
    if (name >= m_text.size() || m_text[name].unicode() >= 0x80 || !m_text[name].isLetter()) return;
    const qsizetype end = next < 0 ? m_text.size() : next;
    const QStringView region = m_text.sliced(name, end - name);
    const bool isImage = IsTagName(m_text, name, QLatin1String("img"));
    const bool imageOrSource = isImage || IsTagName(m_text, name, QLatin1String("source"));
    if (((hints & HintDash) && HoldsDataDash(region)) ||
        (imageOrSource && (hints & HintSrcset) && HoldsSrcset(region)))
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
