#include "widgets/StyleButton.h"

#include "widgets/KeyActivation.h"

StyleButton::StyleButton(const QString &text, const QString &objectName, QWidget *parent)
    : QPushButton(parent)
{
    setCursor(Qt::PointingHandCursor);
    setText(text);
    setFocusPolicy(KeyActivation::ButtonFocus);
    setObjectName(objectName);
}

void StyleButton::keyPressEvent(QKeyEvent *event)
{
    if (!KeyActivation::clickOnEnter(this, event))
        QPushButton::keyPressEvent(event);
}

void StyleButton::paintEvent(QPaintEvent *event)
{
    QPushButton::paintEvent(event);
    KeyActivation::paintFocusFrame(this);
}
