#pragma once

#include "widgets/PopWidget.h"

// The about overlay: program name, version and copyright notice.
class AboutWidget : public PopWidget
{
    Q_OBJECT

public:
    explicit AboutWidget(QWidget *parent = nullptr);

    static QString titleText();
};
