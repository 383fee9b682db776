#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// The picture addresses today's galleries keep outside href and src: the
// largest candidate of srcset and data-srcset on <img> and <source>, and the
// lazy-loading attributes (data-src, data-original, ...) of any tag. The link
// extraction hands every "<" of the page to Visit in text order; the values
// come out per tag in page order, attributes in their order within the tag.
//
// Only a tag whose text (up to the next "<") holds "data-" or, for <img> and
// <source>, "srcset" is read attribute by attribute; the search for the next
// "<" notes whether such a tag may follow, so other tags cost nothing more.
// Tags are read at most once each and never overlap, so the whole scan stays
// linear in the page length.
// What the text between two "<" may hold: a "-" (of "data-"), or the "cs"
// of "srcset".
enum : unsigned { HintDash = 1, HintSrcset = 2 };

// The position of the next "<" at or after from, or -1, like indexOf, while
// reading the text once: hints gains the bits of what the units before it
// hold, so that tags without such attributes cost no second look.
qsizetype NextTagOpen(QStringView text, qsizetype from, unsigned &hints);

class ModernPictureScan
{
public:
    explicit ModernPictureScan(QStringView text) : m_text(text) {}

    // The "<" at position open; next is the position of the following "<"
    // (-1 when there is none) and hints what NextTagOpen noted in between.
    void Visit(qsizetype open, qsizetype next, unsigned hints);

    QStringList Take() { return std::move(m_values); }

private:
    void ReadTag(qsizetype open, bool imageOrSource, bool isImage);
    void Add(const QString &value, const QString &placeholder);

    QStringView m_text;
    // The end of the last tag read: a "<" before it lies inside that tag.
    qsizetype m_consumed = 0;
    QStringList m_values;
};

// The candidate of a srcset value the largest picture is: the largest width
// ("Nw"), else the largest density ("Nx"; no descriptor counts as 1x). The
// value is split as browsers split it: addresses may contain commas, and
// descriptors follow whitespace. Empty when there is no valid candidate.
QString LargestSrcsetCandidate(QStringView srcset);

// The value with its character references (&amp;, &#38;, &#x26; ...) decoded.
QString DecodeEntities(QStringView value);

// Whether an <img>'s src is a placeholder for a picture loaded later: a data:
// address, or a file whose name says 1x1, blank, spacer or placeholder.
bool IsPlaceholderPicture(QStringView address);
