#pragma once

#include <QList>
#include <QPair>
#include <QString>

// Checks the digest that the client appends as "&sign=" to every signed request.
// The digest is MD5 over salt+value for each parameter, parameters stably sorted by key,
// the text converted to GBK first.
class RequestSigner
{
public:
    using Pair = QPair<QString, QString>;

    static constexpr const char *salt = "zqmvtkp5820|";

    // Digest (32 lower-case hex digits) of a parameter string such as "a=1&b=2".
    static QString digest(const QString &parameterString);
    static QString digest(QList<Pair> pairs);

    // rawQuery is the query exactly as received (percent-encoded, "sign" included).
    static bool verify(const QString &rawQuery);

    // Splits at "&" and "=" the way the client does; values are percent-decoded.
    static QList<Pair> splitParameters(const QString &parameterString);
};
