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
    void paintEvent(QPaintEvent *event) override;

private:
    QSize sizeForWidth(int width) const;
    int m_wrapWidth;
};
