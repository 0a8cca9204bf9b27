#include "api/RequestQuery.h"

#include <QStringList>
#include <QUrl>

RequestQuery &RequestQuery::add(const QString &key, const QString &value)
{
    m_items.append({key, value});
    return *this;
}

QString RequestQuery::raw() const
{
    QStringList parts;
    for (const auto &item : m_items)
        parts << item.first + QLatin1Char('=') + item.second;
    return parts.join(QLatin1Char('&'));
}

QString RequestQuery::encoded() const
{
    QStringList parts;
    for (const auto &item : m_items)
        parts << item.first + QLatin1Char('=')
                     + QString::fromLatin1(QUrl::toPercentEncoding(item.second));
    return parts.join(QLatin1Char('&'));
}
