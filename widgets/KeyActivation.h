#pragma once

#include <QAbstractButton>
#include <QKeyEvent>

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

} // namespace KeyActivation
