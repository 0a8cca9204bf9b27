#pragma once

#include <QList>
#include <QPair>
#include <QString>

// The parameters of one service request in their fixed order. The signature is taken over
// the raw text (values as typed, read back by splitting at "&" and "="); the address
// carries every value percent-encoded, so "#", "+", "%", "&" and blanks arrive as typed.
class RequestQuery
{
public:
    RequestQuery &add(const QString &key, const QString &value);

    // "key=value&..." with the values as they are: what the signature reads.
    QString raw() const;
    // The same with each value percent-encoded (UTF-8): what goes into the address.
    QString encoded() const;

    operator QString() const { return raw(); }

private:
    QList<QPair<QString, QString>> m_items;
};
