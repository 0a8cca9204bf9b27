#pragma once

#include "widgets/StyleWidget.h"

// Vertical separator line of one colour and a fixed width.
class ColorVLine : public StyleWidget
{
    Q_OBJECT
public:
    ColorVLine(const QString &color, int width, QWidget *parent = nullptr);
};
