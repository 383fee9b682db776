#pragma once

#include <QString>

// The bookkeeping of one transfer slot. The group base (slots 1, 11, 21, ...)
// holds the row's file, size and part count; every slot of a multi-part
// download holds its own part file, range and progress.
struct TransferSlot {
    QString SourceFileName; // address of the file (base)
    QString TargetFilename; // full local path of the target file (base)
    QString PartFile;       // this slot's part file (multi-part only)
    qint64 LocalMinFileSize = 0;
    int NOP = 0;               // number of parts of the group (base)
    QString ContentLengthText; // length text of the header probe (base)
    qint64 BytesLoaded = 0;    // bytes of this slot's current part transfer
    qint64 Counted = 0;        // bytes of the current transfer counted as received
    qint64 StartLength = 0;    // length the part file had when it was resumed
    bool PartDone = false;
    // Added to the record: what a join and a probe need to know.
    qint64 RangeFirst = 0; // this part's range as first split
    qint64 RangeLast = -1;
    QString StateNumber;  // base: the state number of a split download
    QString Referer;      // base: referer of the row
    bool Probing = false; // base: the header probe is running
    // base: the base's control runs this row's GET of the whole file (so the
    // file it created is this row's).
    bool WholeFile = false;
};
