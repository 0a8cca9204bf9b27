#include "SegmentRekey.h"

#include <openssl/evp.h>

#include <memory>

namespace {

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

QByteArray run(const QByteArray &input, const QByteArray &key, const QByteArray &iv, bool encrypt)
{
    CipherContext context(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    if (!context || key.size() != 16 || iv.size() != 16)
        return QByteArray();
    const auto *keyBytes = reinterpret_cast<const unsigned char *>(key.constData());
    const auto *ivBytes = reinterpret_cast<const unsigned char *>(iv.constData());
    if (EVP_CipherInit_ex(context.get(), EVP_aes_128_cbc(), nullptr, keyBytes, ivBytes,
                          encrypt ? 1 : 0)
        != 1)
        return QByteArray();
    QByteArray output(input.size() + 16, Qt::Uninitialized);
    int written = 0;
    int last = 0;
    auto *out = reinterpret_cast<unsigned char *>(output.data());
    if (EVP_CipherUpdate(context.get(), out, &written,
                         reinterpret_cast<const unsigned char *>(input.constData()), input.size())
            != 1
        || EVP_CipherFinal_ex(context.get(), out + written, &last) != 1)
        return QByteArray();
    output.resize(written + last);
    return output;
}

} // namespace

QByteArray SegmentRekey::rekey(const QByteArray &segment, const QByteArray &oldKey,
                               const QByteArray &newKey, const QByteArray &iv)
{
    const QByteArray plain = run(segment, oldKey, iv, false);
    return plain.isEmpty() ? QByteArray() : run(plain, newKey, iv, true);
}
