#include "widgets/StyleButton.h"

StyleButton::StyleButton(const QString &text, const QString &objectName, QWidget *parent)
    : QPushButton(parent)
{
    setCursor(Qt::PointingHandCursor);
    setText(text);
    setFocusPolicy(Qt::NoFocus);
    setObjectName(objectName);
}
