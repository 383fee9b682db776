#include "filefilters.h"

#include <algorithm>

namespace
{

// The extensions each of the boxes 0 to 3 writes into its slots.
struct TypeGroup {
    int FirstSlot;
    int Count;
    std::array<QLatin1String, 3> Extensions;
};

constexpr std::array<TypeGroup, FileFilters::ManualTypeBox> Groups{{
    {0, 3, {QLatin1String("JPEG"), QLatin1String("JPG"), QLatin1String("JPE")}},
    {3, 1, {QLatin1String("GIF")}},
    {4, 2, {QLatin1String("MPEG"), QLatin1String("MPG")}},
    {6, 2, {QLatin1String("AVI"), QLatin1String("WMV")}},
}};

bool IsDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// One pattern against one stem. Works on views: the pattern itself is never
// changed, so every name is tested against the pattern as typed.
bool FitsPattern(QStringView stem, QStringView pattern)
{
    if (pattern.trimmed() == u"*") return true;
    const bool starFirst = pattern.startsWith(u'*');
    const bool starLast = pattern.endsWith(u'*');
    // A lone "*" was taken above, so a pattern with both stars has two.
    if (starFirst && starLast)
        return stem.contains(pattern.sliced(1).chopped(1), Qt::CaseInsensitive);
    if (starFirst) return stem.endsWith(pattern.sliced(1), Qt::CaseSensitive);
    if (starLast) return stem.startsWith(pattern.chopped(1), Qt::CaseInsensitive);
    if (pattern.contains(u'*') || pattern.size() != stem.size()) return false;
    for (qsizetype i = 0; i < stem.size(); ++i) {
        const QChar want = pattern[i];
        const QChar have = stem[i];
        const bool accepted = want == u'$'   ? !IsDigit(have)
                              : want == u'%' ? IsDigit(have)
                              : want == u'&' ? true
                                             : want == have;
        if (!accepted) return false;
    }
    return true;
}

QStringList SplitAtCommas(const QString &text)
{
    return text.isEmpty() ? QStringList() : text.split(u',');
}

} // namespace

void FileFilters::SetBox(int index, bool ticked)
{
    if (index == ManualTypeBox) {
        ManualTypesOn = ticked;
        return;
    }
    if (index < 0 || index >= ManualTypeBox) return;
    const TypeGroup &group = Groups[index];
    for (int i = 0; i < group.Count; ++i)
        TypeSlots[group.FirstSlot + i] = ticked ? QString(group.Extensions[i]) : QString();
}

FileFilters FileFilters::FromCheckBoxes(const Boxes &boxes, const QString &manualTypeText,
                                        const QString &searchPatternText)
{
    FileFilters filters;
    for (int i = 0; i < BoxCount; ++i)
        filters.SetBox(i, boxes[i]);
    filters.ManualTypes = SplitManualTypes(manualTypeText);
    filters.SearchPatterns = SplitSearchPatterns(searchPatternText);
    return filters;
}

void FileFilters::ApplyUrlListRow(const QString &fileTypesText, const QString &patternText)
{
    const QStringList pieces = fileTypesText.split(u';');
    // The last piece is never a flag: after five flags it holds the typed types.
    for (qsizetype k = 0; k + 1 < pieces.size(); ++k) {
        const bool on = pieces[k] != u"0";
        if (k < ManualTypeBox)
            SetBox(int(k), on);
        else if (k == ManualTypeBox && on)
            ManualTypes = SplitManualTypes(pieces[k + 1]);
    }
    SearchPatterns = SplitAtCommas(patternText);
}

QString FileFilters::FileTypesColumn(const Boxes &boxes, const QString &manualTypeText)
{
    QString text;
    for (bool ticked : boxes)
        text += ticked ? QStringLiteral("1;") : QStringLiteral("0;");
    if (boxes[ManualTypeBox]) text += manualTypeText;
    return text;
}

QStringList FileFilters::SplitManualTypes(const QString &text)
{
    return SplitAtCommas(text);
}

QStringList FileFilters::SplitSearchPatterns(const QString &text)
{
    return SplitAtCommas(text.trimmed());
}

bool FileFilters::AcceptsManualTypeKey(QChar key)
{
    return (key >= u'a' && key <= u'z') || (key >= u'A' && key <= u'Z') || key == u',' ||
           key == u'\b';
}

bool IsFileType(const QString &fileName, const FileFilters &filters)
{
    const QString name = fileName.toUpper();
    // A substring test, not an ending test: ".jpg.txt" carries JPG.
    const auto carries = [&name](const QString &type) {
        const QString extension = type.trimmed();
        return !extension.isEmpty() && name.contains(QLatin1Char('.') + extension.toUpper());
    };
    if (std::any_of(filters.TypeSlots.begin(), filters.TypeSlots.end(), carries)) return true;
    return filters.ManualTypesOn &&
           std::any_of(filters.ManualTypes.begin(), filters.ManualTypes.end(), carries);
}

bool MatchesPattern(const QString &fileName, const QStringList &patterns)
{
    const qsizetype dot = fileName.indexOf(u'.');
    if (dot <= 0) return false;
    const QStringView stem = QStringView(fileName).first(dot);
    return std::any_of(patterns.begin(), patterns.end(),
                       [stem](const QString &pattern) { return FitsPattern(stem, pattern); });
}
