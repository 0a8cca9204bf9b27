#pragma once

#include "widgets/StyleWidget.h"

// Horizontal separator line of one colour and a fixed height.
class ColorHLine : public StyleWidget
{
    Q_OBJECT
public:
    ColorHLine(const QString &color, int height, QWidget *parent = nullptr);
};
