// Any bytes as a deciphered download index: reading must stop cleanly, whatever the counts
// and lengths say.
#include "model/UserSession.h"

#include <QByteArray>
#include <QDataStream>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    QDataStream in(bytes);
    UserSession user;
    in >> user;
    // Writing back what was read must work too.
    QByteArray out;
    QDataStream writer(&out, QIODevice::WriteOnly);
    writer << user;
    return 0;
}
