#include "model/JsonRead.h"

#include <QJsonValue>

#include <cmath>
#include <limits>

namespace JsonRead {

QString text(const QJsonObject &object, const char *key)
{
    return object.value(QLatin1String(key)).toString();
}

double number(const QJsonObject &object, const char *key)
{
    return object.value(QLatin1String(key)).toDouble(0.0);
}

qint32 integer(const QJsonObject &object, const char *key)
{
    const double value = std::trunc(number(object, key));
    // Out-of-range values would be undefined behaviour when converted; clamp them.
    if (!(value == value))
        return 0;
    if (value >= double(std::numeric_limits<qint32>::max()))
        return std::numeric_limits<qint32>::max();
    if (value <= double(std::numeric_limits<qint32>::min()))
        return std::numeric_limits<qint32>::min();
    return qint32(value);
}

QString numberText(const QJsonObject &object, const char *key)
{
    return QString::number(number(object, key), 'g', 6);
}

} // namespace JsonRead
