#pragma once

#include <QJsonObject>
#include <QString>

// The service's reading rules: text fields accept JSON strings only, number fields
// JSON numbers only; anything else reads as empty text or 0.
namespace JsonRead {
QString text(const QJsonObject &object, const char *key);
double number(const QJsonObject &object, const char *key);
qint32 integer(const QJsonObject &object, const char *key);
QString numberText(const QJsonObject &object, const char *key);
} // namespace JsonRead
