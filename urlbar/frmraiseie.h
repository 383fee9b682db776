#pragma once

#include <QWidget>

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

// The URL bar: the startup window that holds the working address, shows it one
// character per button with the counting mark under each, and feeds the URL list.
class frmRaiseIE : public QWidget
{
    Q_OBJECT
public:
    // Number of character buttons and mark labels.
    static constexpr int ViewLength = 20;
    // Designed size of the bar in twips (the startup places it with this size).
    static constexpr int DesignWidth = 8055;
    static constexpr int DesignHeight = 1920;
    // Interval of the clipboard poll.
    static constexpr int ClipboardPollMs = 1000;

    explicit frmRaiseIE(QWidget *parent = nullptr);

    // Controls, named as the language file and the handlers address them.
    QLineEdit *TextFromClipboard = nullptr;
    std::array<QPushButton *, ViewLength> Command1{};
    std::array<QLabel *, ViewLength> RLLabel{};
    QPushButton *ScrollLeft = nullptr;
    QPushButton *ScrollRight = nullptr;
    QPushButton *UseItCommand = nullptr;
    QPushButton *ToURLListCommand = nullptr;
    QPushButton *RaiseLowerCommand = nullptr;
    // Language switch: 0 is shown while German is active, 1 while English is.
    std::array<QLabel *, 2> Picture1{};
    // Clipboard poll.
    QTimer *Timer1 = nullptr;

private:
    // Places a control at a designed position given in twips.
    void Place(QWidget *control, int left, int top, int width, int height);
};
