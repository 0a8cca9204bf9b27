#include "RequestSigner.h"

#include <QCryptographicHash>
#include <QStringList>
#include <QTextCodec>

#include <algorithm>

namespace {

QString percentDecoded(const QString &text)
{
    // "+" stays "+": the client does not encode it and hashes it as it is.
    return QString::fromUtf8(QByteArray::fromPercentEncoding(text.toUtf8()));
}

QByteArray toGbk(const QString &text)
{
    static QTextCodec *const codec = QTextCodec::codecForName("GBK");
    return codec ? codec->fromUnicode(text) : text.toLocal8Bit();
}

} // namespace

QList<RequestSigner::Pair> RequestSigner::splitParameters(const QString &parameterString)
{
    QList<Pair> pairs;
    const QStringList parts = parameterString.split(QLatin1Char('&'));
    for (const QString &part : parts) {
        const QStringList pieces = part.split(QLatin1Char('='));
        const QString value = pieces.size() > 1 ? pieces.at(1) : QString();
        pairs.append({percentDecoded(pieces.at(0)), percentDecoded(value)});
    }
    return pairs;
}

QString RequestSigner::digest(const QString &parameterString)
{
    return digest(splitParameters(parameterString));
}

QString RequestSigner::digest(QList<Pair> pairs)
{
    std::stable_sort(pairs.begin(), pairs.end(),
                     [](const Pair &a, const Pair &b) { return a.first < b.first; });
    QString input;
    for (const Pair &pair : qAsConst(pairs))
        input += QLatin1String(salt) + pair.second;
    return QString::fromLatin1(
        QCryptographicHash::hash(toGbk(input), QCryptographicHash::Md5).toHex());
}

bool RequestSigner::verify(const QString &rawQuery)
{
    QStringList parts = rawQuery.split(QLatin1Char('&'));
    // The client appends the digest last; take the last "sign" part.
    int signIndex = -1;
    for (int i = parts.size() - 1; i >= 0; --i) {
        if (parts.at(i).startsWith(QLatin1String("sign="))) {
            signIndex = i;
            break;
        }
    }
    if (signIndex < 0)
        return false;
    const QString received = parts.takeAt(signIndex).mid(5).toLower();
    return !received.isEmpty() && digest(parts.join(QLatin1Char('&'))) == received;
}
