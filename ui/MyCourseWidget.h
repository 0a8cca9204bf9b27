#pragma once

#include "ui/PlaceholderPage.h"

class MyCourseWidget : public PlaceholderPage
{
    Q_OBJECT

public:
    explicit MyCourseWidget(QWidget *parent = nullptr)
        : PlaceholderPage(QStringLiteral("我的课程"), parent)
    {
    }
};
