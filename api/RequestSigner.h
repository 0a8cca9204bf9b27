#pragma once

#include <QString>

// The service's request signature: the parameter values, ordered by key, each behind
// the salt, hashed with MD5 over the GBK bytes.
class RequestSigner
{
public:
    static QString sign(const QString &parameters);
    static QString md5Hex(const QString &text);
    // The text the digest is taken of; exposed for tests and the demo service.
    static QString digestInput(const QString &parameters);
    static QString salt() { return QStringLiteral("zqmvtkp5820|"); }
};
