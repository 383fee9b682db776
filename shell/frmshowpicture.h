#pragma once

#include <QImage>
#include <QWidget>

class QLabel;

// The picture viewer: in picture mode it takes the browser window's place and
// shows a finished download scaled to fit and centred in its picture box.
class frmShowPicture : public QWidget
{
    Q_OBJECT

public:
    // The picture box's margin on every side, in twips.
    static constexpr int BoxInsetTwips = 120;

    explicit frmShowPicture(QWidget *parent = nullptr);

    // Draws image into picShowPicture, shrunk to fit with its proportions
    // kept (never enlarged) and centred; the drawing stays until the next
    // picture, also while the window is hidden. A null image clears the box.
    void ShowPicture(const QImage &image);

    // Fits picShowPicture into the client area with BoxInsetTwips on every
    // side and redraws the current picture for the new box size.
    void PlaceBox();

    QLabel *picShowPicture = nullptr;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void DrawPicture();

    // The picture last shown, kept so that a new box size can redraw it.
    QImage m_image;
};
