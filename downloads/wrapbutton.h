#pragma once

#include <QPushButton>

// A push button whose caption wraps onto several lines, so that the long
// designed captions of the list commands fit a narrow window.
class WrapButton : public QPushButton
{
    Q_OBJECT
public:
    // wrapWidth: the width the button asks for; the caption wraps within it.
    explicit WrapButton(const QString &text, int wrapWidth, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    // Given more width than it asks for, the caption needs fewer lines: the
    // height it asks for follows the width the layout gave it.
    void resizeEvent(QResizeEvent *event) override;

    void paintEvent(QPaintEvent *event) override;

private:
    QSize sizeForWidth(int width) const;
    QSize hint() const;
    int m_wrapWidth;
    int m_laidOutHeight = -1;
};
