#pragma once

#include <QtCore/qglobal.h>

// Symbols of the Dornex library that outside code may use.
#if defined(DORNEX_BUILDING)
#define DORNEX_EXPORT Q_DECL_EXPORT
#else
#define DORNEX_EXPORT Q_DECL_IMPORT
#endif
