#pragma once

#include <QMetaType>
#include <QString>
#include <QVariantMap>

// Travels with a service request and comes back with its reply. The args hold values only
// (ids, never pointers into lists that may change before the reply comes).
struct HttpRequestContext
{
    qint32 type = -1;
    QVariantMap args;
};

Q_DECLARE_METATYPE(HttpRequestContext)
