#include "RequestSigner.h"

#include <QCryptographicHash>
#include <QStringList>
#include <QTextCodec>

#include <algorithm>

namespace {

QString formDecoded(QString text)
{
    text.replace(QLatin1Char('+'), QLatin1Char(' '));
    return QString::fromUtf8(QByteArray::fromPercentEncoding(text.toUtf8()));
}

QByteArray toGbk(const QString &text)
{
    static QTextCodec *const codec = QTextCodec::codecForName("GBK");
    return codec ? codec->fromUnicode(text) : text.toLocal8Bit();
}

} // namespace

QString RequestSigner::digest(const QString &parameterString)
{
    QList<Pair> pairs;
    for (const QString &part : parameterString.split(QLatin1Char('&'))) {
        const QStringList pieces = part.split(QLatin1Char('='));
        pairs.append({pieces.at(0), pieces.size() > 1 ? pieces.at(1) : QString()});
    }
    return digest(pairs);
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

QList<RequestSigner::Field> RequestSigner::decodeQuery(const QString &rawQuery)
{
    QList<Field> fields;
    for (const QString &part : rawQuery.split(QLatin1Char('&'))) {
        const int equals = part.indexOf(QLatin1Char('='));
        Field field;
        field.hasValue = equals >= 0;
        field.key = formDecoded(field.hasValue ? part.left(equals) : part);
        if (field.hasValue)
            field.value = formDecoded(part.mid(equals + 1));
        fields.append(field);
    }
    return fields;
}

bool RequestSigner::verify(const QList<Field> &fields)
{
    // The client appends the digest last; take the last "sign" field.
    int signIndex = -1;
    for (int i = fields.size() - 1; i >= 0; --i) {
        if (fields.at(i).key == QLatin1String("sign")) {
            signIndex = i;
            break;
        }
    }
    if (signIndex < 0)
        return false;
    QStringList parts;
    for (int i = 0; i < fields.size(); ++i) {
        if (i == signIndex)
            continue;
        const Field &field = fields.at(i);
        parts << (field.hasValue ? field.key + QLatin1Char('=') + field.value : field.key);
    }
    const QString received = fields.at(signIndex).value.toLower();
    return !received.isEmpty() && digest(parts.join(QLatin1Char('&'))) == received;
}
