#pragma once

#include "dornex_export.h"

#include <QString>

// The local files that running transfers of this process write to, so that
// two transfers never write one file.
namespace LocalFileNames
{

// The name a new (non-appending) transfer writes to: while a file of that name
// exists or a running transfer holds it, an "A" goes in front of the file name
// (/dl/pic.jpg, /dl/Apic.jpg, /dl/AApic.jpg, ...).
DORNEX_EXPORT QString UniqueName(const QString &path);

// Claims a name for a running transfer; false when another one holds it.
DORNEX_EXPORT bool Claim(const QString &path);
DORNEX_EXPORT void Release(const QString &path);
DORNEX_EXPORT bool IsHeld(const QString &path);

} // namespace LocalFileNames
