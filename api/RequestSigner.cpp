#include "api/RequestSigner.h"

#include "platform/LocalCodec.h"

#include <QCryptographicHash>
#include <QStringList>
#include <QVector>

#include <utility>

QString RequestSigner::digestInput(const QString &parameters)
{
    // A part without "=" (a typed value holding "&" splits off such a part) is a key
    // with an empty value: it still contributes the salt, so signing never fails on it.
    QVector<std::pair<QString, QString>> pairs;
    for (const QString &part : parameters.split(QLatin1Char('&'))) {
        const QStringList pieces = part.split(QLatin1Char('='));
        pairs.append({pieces.at(0), pieces.size() > 1 ? pieces.at(1) : QString()});
    }
    // Stable: equal keys keep their order. Plain UTF-16 code-unit comparison.
    std::stable_sort(pairs.begin(), pairs.end(), [](const auto &a, const auto &b) {
        return QString::compare(a.first, b.first, Qt::CaseSensitive) < 0;
    });
    QString input;
    for (const auto &pair : pairs)
        input += salt() + pair.second;
    return input;
}

QString RequestSigner::sign(const QString &parameters) { return md5Hex(digestInput(parameters)); }

QString RequestSigner::md5Hex(const QString &text)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(LocalCodec::encode(text), QCryptographicHash::Md5).toHex());
}
