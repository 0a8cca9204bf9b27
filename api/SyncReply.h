#pragma once

#include <QByteArray>
#include <QString>

// The outcome of a blocking GET.
struct SyncReply
{
    bool ok = false;
    QByteArray body;
    int errorCode = 0;
    QString errorText;
};
