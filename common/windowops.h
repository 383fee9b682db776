#pragma once

#include <QObject>
#include <QRect>

class QWidget;

// Small window operations that several windows share.

// The desktop work area (the screen without panels and task bars), in twips.
QRect GetWorkArea();

// Keeps the window above all normal windows (on) or returns it to the normal
// order (off); position and size stay.
void SetTopmost(QWidget *window, bool on);

// Refuses to close the windows it watches until the program ends.
class CloseGuard : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    bool Ending = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

// Takes the Close command off the window (no close button) and lets the
// guard refuse every close until the program ends.
void RemoveCloseItem(QWidget *window, CloseGuard &guard);
