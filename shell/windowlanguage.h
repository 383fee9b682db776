#pragma once

#include "languagefile.h"

#include <QHash>
#include <QString>

class QWidget;
class ListModel;

// Applies the language file's texts to the windows: a key names the control
// of that object name (without regard to case) in the section's window, an
// indexed key like "CHECK1(4)" the element of a control array with that
// "Index", and a key equal to the section the window's own title. Column
// header keys "LISTVIEWnITEMm" go to the two list models, other "<LIST>ITEMm"
// keys to the headers of that list in the section's window.
class WindowLanguage : public LanguageTarget
{
public:
    WindowLanguage(ListModel &downloadList, ListModel &urlList);

    // The window of a section ("FRMRAISEIE" and so on).
    void AddWindow(const QString &section, QWidget *window);

    void Apply(const QString &section, const QString &key, Kind kind, const QString &text) override;

private:
    QHash<QString, QWidget *> m_windows;
    ListModel &m_downloadList;
    ListModel &m_urlList;
};
