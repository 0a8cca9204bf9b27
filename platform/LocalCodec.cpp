#include "platform/LocalCodec.h"

#include <QTextCodec>

namespace LocalCodec {

namespace {
QTextCodec *codec()
{
    static QTextCodec *const gbk = QTextCodec::codecForName("GBK");
    return gbk;
}
} // namespace

QByteArray encode(const QString &text)
{
    if (QTextCodec *c = codec())
        return c->fromUnicode(text);
    return text.toLocal8Bit();
}

QString decode(const QByteArray &bytes)
{
    if (QTextCodec *c = codec())
        return c->toUnicode(bytes);
    return QString::fromLocal8Bit(bytes);
}

} // namespace LocalCodec
