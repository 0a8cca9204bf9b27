#pragma once

#include <QList>
#include <QPair>
#include <QString>

// Checks the digest that the client appends as "&sign=" to every signed request.
// The digest is MD5 over salt+value for each parameter, parameters stably sorted by key,
// the text converted to GBK first. Like any web service, the query is decoded first; the
// digest is then taken over the decoded values joined again, read the way the client reads
// its own parameter text (split at "&", then at "=").
class RequestSigner
{
public:
    using Pair = QPair<QString, QString>;

    // One "key=value" part of a query, decoded.
    struct Field
    {
        QString key;
        QString value;
        bool hasValue = false; // the part held a "="
    };

    static constexpr const char *salt = "zqmvtkp5820|";

    // Digest (32 lower-case hex digits) of a parameter text such as "a=1&b=2", taken as it is.
    static QString digest(const QString &parameterString);
    static QString digest(QList<Pair> pairs);

    // Splits a query as received at "&" and each part at its first "="; "+" is a blank and
    // %XX escapes are UTF-8 bytes, as in a web form.
    static QList<Field> decodeQuery(const QString &rawQuery);

    // fields: the decoded query, "sign" included (the last one counts).
    static bool verify(const QList<Field> &fields);
};
