#pragma once

#include "app/AppInfo.h"

#include <QString>

// The latest version the update check offered.
struct UpdateInfo
{
    QString version = AppInfo::programVersion();
    QString content;
    QString downloadUrl;
};
