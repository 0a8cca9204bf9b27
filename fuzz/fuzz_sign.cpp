// Any text as a request's parameter string: signing must never fail or misbehave.
#include "api/RequestSigner.h"

#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString parameters = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    const QString digest = RequestSigner::sign(parameters);
    if (digest.size() != 32)
        __builtin_trap();
    return 0;
}
