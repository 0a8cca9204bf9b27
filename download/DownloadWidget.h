#pragma once

#include "ui/PlaceholderPage.h"

class DownloadWidget : public PlaceholderPage
{
    Q_OBJECT

public:
    explicit DownloadWidget(QWidget *parent = nullptr)
        : PlaceholderPage(QStringLiteral("下载管理"), parent)
    {
    }
};
