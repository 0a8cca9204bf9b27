#pragma once

#include "ui/PlaceholderPage.h"

class CoursewarePage : public PlaceholderPage
{
    Q_OBJECT

public:
    explicit CoursewarePage(QWidget *parent = nullptr)
        : PlaceholderPage(QStringLiteral("已下载课件"), parent)
    {
    }
};
