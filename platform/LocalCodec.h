#pragma once

#include <QByteArray>
#include <QString>

// The service's "local 8-bit code page" is GBK: the request digest hashes GBK bytes.
namespace LocalCodec {
QByteArray encode(const QString &text);
QString decode(const QByteArray &bytes);
} // namespace LocalCodec
