#pragma once

#include <QMetaType>
#include <QString>
#include <QVariantMap>

// Travels with a service request and comes back with its reply.
struct HttpRequestContext
{
    qint32 type = -1;
    QVariantMap args;
};

Q_DECLARE_METATYPE(HttpRequestContext)
