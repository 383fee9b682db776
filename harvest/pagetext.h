#pragma once

#include <QByteArray>
#include <QString>

// The text of a fetched page: its bytes decoded with the character set that
// the response's Content-Type names, else the one the page's own
// <meta charset> or <meta http-equiv="Content-Type"> names; a page that names
// none (or one this system cannot decode) is read as UTF-8 when it is valid
// UTF-8, else as Latin-1. Links with accented letters so keep their letters.
QString PageText(const QByteArray &bytes, const QString &contentType);

// The character set a Content-Type value or a page head names; empty when none.
QString CharsetOf(const QByteArray &text);

// Whether a response of this Content-Type may hold a page worth reading for
// links: no type at all, any text, or any HTML or XML type.
bool IsPageType(const QString &contentType);
