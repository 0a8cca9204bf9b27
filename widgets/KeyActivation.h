#pragma once

#include <QAbstractButton>
#include <QKeyEvent>
#include <QPainter>

// The program's buttons are reached with Tab (not taken by a mouse click, which would pull
// the focus out of a field) and pressed with Space, as every button is, or with Enter.
namespace KeyActivation {

constexpr Qt::FocusPolicy ButtonFocus = Qt::TabFocus;

// Presses the button when the key is Enter; true when it did.
inline bool clickOnEnter(QAbstractButton *button, QKeyEvent *event)
{
    if ((event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter)
        || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    button->click();
    return true;
}

// A button the keyboard is on shows a frame around it (the images and sheets draw none).
inline void paintFocusFrame(QAbstractButton *button)
{
    if (!button->hasFocus())
        return;
    QPainter painter(button);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(13, 124, 195), 2, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(button->rect()).adjusted(1, 1, -1, -1), 3, 3);
}

} // namespace KeyActivation
