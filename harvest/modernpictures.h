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
// <source>, "srcset" is read attribute by attribute: the next "data-" and the
// next "srcset" of the page are each found by one forward search that is
// kept while it lies ahead, so pages without such attributes cost little.
// Tags are read at most once each and never overlap, so the whole scan stays
// linear in the page length.
class ModernPictureScan
{
public:
    explicit ModernPictureScan(QStringView text) : m_text(text) {}

    // The "<" at position open; next is the position of the following "<"
    // (-1 when there is none).
    void Visit(qsizetype open, qsizetype next);

    QStringList Take() { return std::move(m_values); }

private:
    void ReadTag(qsizetype open, bool imageOrSource, bool isImage);
    // The position of the "-" of the next "data-" at or after from, or -1.
    qsizetype NextDataDash(qsizetype from);
    // The position of the next "srcset" (any letter case) at or after from, or -1.
    qsizetype NextSrcset(qsizetype from);
    void Add(const QString &value, const QString &placeholder);

    QStringView m_text;
    // The end of the last tag read: a "<" before it lies inside that tag.
    qsizetype m_consumed = 0;
    static constexpr qsizetype NotSearched = -2;
    qsizetype m_dataDash = NotSearched;
    qsizetype m_srcset = NotSearched;
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
