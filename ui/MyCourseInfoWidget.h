#pragma once

#include "ui/PlaceholderPage.h"

class MyCourseInfoWidget : public PlaceholderPage
{
    Q_OBJECT

public:
    explicit MyCourseInfoWidget(QWidget *parent = nullptr)
        : PlaceholderPage(QStringLiteral("课程详情"), parent)
    {
    }
};
