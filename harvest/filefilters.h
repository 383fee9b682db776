#pragma once

#include <QString>
#include <QStringList>

#include <array>

// The file filters of a harvest: which extensions a file link must carry and
// which name patterns its stem must fit. Program-wide state that the options
// window and the URL-list runner fill and the crawl reads.
struct FileFilters {
    // The file-type boxes of the options window: JPEG, GIF, MPEG, other
    // videos, and the switch for the typed (manual) types.
    static constexpr int BoxCount = 5;
    static constexpr int ManualTypeBox = 4;
    using Boxes = std::array<bool, BoxCount>;

    // Extensions without their dot, empty where unused; the groups of boxes 0
    // to 3 own slots 0-2, 3, 4-5 and 6-7. The default is the options window's
    // start: only the JPEG group on.
    std::array<QString, 8> TypeSlots{QStringLiteral("JPEG"), QStringLiteral("JPG"),
                                     QStringLiteral("JPE")};
    // Typed extensions, untrimmed as split; tested only while ManualTypesOn.
    QStringList ManualTypes;
    bool ManualTypesOn = false;
    // Name patterns for MatchesPattern; empty until a harvest starts.
    QStringList SearchPatterns;

    // A click on file-type box index (0 to 4) leaving it ticked or not: boxes
    // 0 to 3 fill or empty their slots, box 4 switches the manual types.
    void SetBox(int index, bool ticked);

    // The filters as the options window starts a harvest: slots from the
    // boxes, manual types from the typed text, patterns from the pattern box.
    static FileFilters FromCheckBoxes(const Boxes &boxes, const QString &manualTypeText,
                                      const QString &searchPatternText);

    // What the URL-list runner does before crawling a row: its "filetypes"
    // text (five flags each followed by ";", then the typed extensions, e.g.
    // "1;0;0;0;1;png,bmp") sets each group it names ("0" off, anything else
    // on); a typed-types flag that is on replaces the manual types, one that is
    // off keeps them. The manual-types switch stays as the options window set
    // it. The row's pattern text, split at ",", replaces the search patterns.
    void ApplyUrlListRow(const QString &fileTypesText, const QString &patternText);

    // The "filetypes" text written into URL-list rows: "1;"/"0;" per box,
    // then the typed text when box 4 is ticked.
    static QString FileTypesColumn(const Boxes &boxes, const QString &manualTypeText);

    // Typed types: split at ",", entries kept as they are.
    static QStringList SplitManualTypes(const QString &text);
    // Search patterns: trimmed as a whole, then split at ","; a space after a
    // comma stays at the front of the next pattern. Empty text, no patterns.
    static QStringList SplitSearchPatterns(const QString &text);
    // The typed-types box takes only letters a-z, A-Z, the comma and backspace.
    static bool AcceptsManualTypeKey(QChar key);
};

// Whether the file name carries, anywhere, a dot followed by one of the
// non-empty type slots or, while switched on, one of the manual types; letter
// case never matters.
bool IsFileType(const QString &fileName, const FileFilters &filters);

// Whether the stem (the name before its first dot) fits one of the patterns:
// "*" alone; "*text*" contained (any case); "*text" ending (exact case);
// "text*" beginning (any case); otherwise a same-length mask where "$" is any
// non-digit, "%" a digit, "&" any character, all else exact. A name without
// a dot, or starting with one, fits nothing.
bool MatchesPattern(const QString &fileName, const QStringList &patterns);
