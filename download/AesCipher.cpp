#include "download/AesCipher.h"

#include <QBuffer>
#include <QFile>
#include <QSaveFile>
#include <QString>

#include <cstring>

namespace {

constexpr quint8 kSBox[256] = {
    0x63, 0x7c, 0x77, 0x7b, 0xf2, 0x6b, 0x6f, 0xc5, 0x30, 0x01, 0x67, 0x2b, 0xfe, 0xd7, 0xab, 0x76,
    0xca, 0x82, 0xc9, 0x7d, 0xfa, 0x59, 0x47, 0xf0, 0xad, 0xd4, 0xa2, 0xaf, 0x9c, 0xa4, 0x72, 0xc0,
    0xb7, 0xfd, 0x93, 0x26, 0x36, 0x3f, 0xf7, 0xcc, 0x34, 0xa5, 0xe5, 0xf1, 0x71, 0xd8, 0x31, 0x15,
    0x04, 0xc7, 0x23, 0xc3, 0x18, 0x96, 0x05, 0x9a, 0x07, 0x12, 0x80, 0xe2, 0xeb, 0x27, 0xb2, 0x75,
    0x09, 0x83, 0x2c, 0x1a, 0x1b, 0x6e, 0x5a, 0xa0, 0x52, 0x3b, 0xd6, 0xb3, 0x29, 0xe3, 0x2f, 0x84,
    0x53, 0xd1, 0x00, 0xed, 0x20, 0xfc, 0xb1, 0x5b, 0x6a, 0xcb, 0xbe, 0x39, 0x4a, 0x4c, 0x58, 0xcf,
    0xd0, 0xef, 0xaa, 0xfb, 0x43, 0x4d, 0x33, 0x85, 0x45, 0xf9, 0x02, 0x7f, 0x50, 0x3c, 0x9f, 0xa8,
    0x51, 0xa3, 0x40, 0x8f, 0x92, 0x9d, 0x38, 0xf5, 0xbc, 0xb6, 0xda, 0x21, 0x10, 0xff, 0xf3, 0xd2,
    0xcd, 0x0c, 0x13, 0xec, 0x5f, 0x97, 0x44, 0x17, 0xc4, 0xa7, 0x7e, 0x3d, 0x64, 0x5d, 0x19, 0x73,
    0x60, 0x81, 0x4f, 0xdc, 0x22, 0x2a, 0x90, 0x88, 0x46, 0xee, 0xb8, 0x14, 0xde, 0x5e, 0x0b, 0xdb,
    0xe0, 0x32, 0x3a, 0x0a, 0x49, 0x06, 0x24, 0x5c, 0xc2, 0xd3, 0xac, 0x62, 0x91, 0x95, 0xe4, 0x79,
    0xe7, 0xc8, 0x37, 0x6d, 0x8d, 0xd5, 0x4e, 0xa9, 0x6c, 0x56, 0xf4, 0xea, 0x65, 0x7a, 0xae, 0x08,
    0xba, 0x78, 0x25, 0x2e, 0x1c, 0xa6, 0xb4, 0xc6, 0xe8, 0xdd, 0x74, 0x1f, 0x4b, 0xbd, 0x8b, 0x8a,
    0x70, 0x3e, 0xb5, 0x66, 0x48, 0x03, 0xf6, 0x0e, 0x61, 0x35, 0x57, 0xb9, 0x86, 0xc1, 0x1d, 0x9e,
    0xe1, 0xf8, 0x98, 0x11, 0x69, 0xd9, 0x8e, 0x94, 0x9b, 0x1e, 0x87, 0xe9, 0xce, 0x55, 0x28, 0xdf,
    0x8c, 0xa1, 0x89, 0x0d, 0xbf, 0xe6, 0x42, 0x68, 0x41, 0x99, 0x2d, 0x0f, 0xb0, 0x54, 0xbb, 0x16,
};

constexpr quint8 kInvSBox[256] = {
    0x52, 0x09, 0x6a, 0xd5, 0x30, 0x36, 0xa5, 0x38, 0xbf, 0x40, 0xa3, 0x9e, 0x81, 0xf3, 0xd7, 0xfb,
    0x7c, 0xe3, 0x39, 0x82, 0x9b, 0x2f, 0xff, 0x87, 0x34, 0x8e, 0x43, 0x44, 0xc4, 0xde, 0xe9, 0xcb,
    0x54, 0x7b, 0x94, 0x32, 0xa6, 0xc2, 0x23, 0x3d, 0xee, 0x4c, 0x95, 0x0b, 0x42, 0xfa, 0xc3, 0x4e,
    0x08, 0x2e, 0xa1, 0x66, 0x28, 0xd9, 0x24, 0xb2, 0x76, 0x5b, 0xa2, 0x49, 0x6d, 0x8b, 0xd1, 0x25,
    0x72, 0xf8, 0xf6, 0x64, 0x86, 0x68, 0x98, 0x16, 0xd4, 0xa4, 0x5c, 0xcc, 0x5d, 0x65, 0xb6, 0x92,
    0x6c, 0x70, 0x48, 0x50, 0xfd, 0xed, 0xb9, 0xda, 0x5e, 0x15, 0x46, 0x57, 0xa7, 0x8d, 0x9d, 0x84,
    0x90, 0xd8, 0xab, 0x00, 0x8c, 0xbc, 0xd3, 0x0a, 0xf7, 0xe4, 0x58, 0x05, 0xb8, 0xb3, 0x45, 0x06,
    0xd0, 0x2c, 0x1e, 0x8f, 0xca, 0x3f, 0x0f, 0x02, 0xc1, 0xaf, 0xbd, 0x03, 0x01, 0x13, 0x8a, 0x6b,
    0x3a, 0x91, 0x11, 0x41, 0x4f, 0x67, 0xdc, 0xea, 0x97, 0xf2, 0xcf, 0xce, 0xf0, 0xb4, 0xe6, 0x73,
    0x96, 0xac, 0x74, 0x22, 0xe7, 0xad, 0x35, 0x85, 0xe2, 0xf9, 0x37, 0xe8, 0x1c, 0x75, 0xdf, 0x6e,
    0x47, 0xf1, 0x1a, 0x71, 0x1d, 0x29, 0xc5, 0x89, 0x6f, 0xb7, 0x62, 0x0e, 0xaa, 0x18, 0xbe, 0x1b,
    0xfc, 0x56, 0x3e, 0x4b, 0xc6, 0xd2, 0x79, 0x20, 0x9a, 0xdb, 0xc0, 0xfe, 0x78, 0xcd, 0x5a, 0xf4,
    0x1f, 0xdd, 0xa8, 0x33, 0x88, 0x07, 0xc7, 0x31, 0xb1, 0x12, 0x10, 0x59, 0x27, 0x80, 0xec, 0x5f,
    0x60, 0x51, 0x7f, 0xa9, 0x19, 0xb5, 0x4a, 0x0d, 0x2d, 0xe5, 0x7a, 0x9f, 0x93, 0xc9, 0x9c, 0xef,
    0xa0, 0xe0, 0x3b, 0x4d, 0xae, 0x2a, 0xf5, 0xb0, 0xc8, 0xeb, 0xbb, 0x3c, 0x83, 0x53, 0x99, 0x61,
    0x17, 0x2b, 0x04, 0x7e, 0xba, 0x77, 0xd6, 0x26, 0xe1, 0x69, 0x14, 0x63, 0x55, 0x21, 0x0c, 0x7d,
};

// Round constants as key-schedule words; entry 0 is never used.
const quint8 kRcon[11] = {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80, 0x1b, 0x36};

// Multiplication by 2 in GF(2^8), reduced by the AES polynomial.
constexpr quint8 xtime(quint8 b) { return quint8((b << 1) ^ ((b & 0x80) ? 0x1b : 0x00)); }

constexpr quint32 rotateRight(quint32 word, int bits)
{
    return (word >> bits) | (word << (32 - bits));
}

// Each round works on 32-bit columns (first byte in the high bits) with lookup tables that
// fold SubBytes and MixColumns (or their inverses) into one step per byte: about ten times
// the speed of the byte-by-byte round functions, with the same output.
struct RoundTables
{
    quint32 encrypt[4][256] = {};
    quint32 decrypt[4][256] = {};
};

constexpr RoundTables makeRoundTables()
{
    RoundTables t;
    for (int x = 0; x < 256; ++x) {
        const quint8 s = kSBox[x];
        const quint32 e =
            quint32(xtime(s)) << 24 | quint32(s) << 16 | quint32(s) << 8 | quint8(xtime(s) ^ s);
        const quint8 i = kInvSBox[x];
        const quint8 i2 = xtime(i), i4 = xtime(i2), i8 = xtime(i4);
        const quint32 d = quint32(quint8(i8 ^ i4 ^ i2)) << 24 | quint32(quint8(i8 ^ i)) << 16
                          | quint32(quint8(i8 ^ i4 ^ i)) << 8 | quint8(i8 ^ i2 ^ i);
        for (int r = 0; r < 4; ++r) {
            t.encrypt[r][x] = r ? rotateRight(e, 8 * r) : e;
            t.decrypt[r][x] = r ? rotateRight(d, 8 * r) : d;
        }
    }
    return t;
}

constexpr RoundTables kTables = makeRoundTables();
constexpr auto &Te = kTables.encrypt;
constexpr auto &Td = kTables.decrypt;

quint32 loadWord(const quint8 *p)
{
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
}

void storeWord(quint32 w, quint8 *p)
{
    p[0] = quint8(w >> 24);
    p[1] = quint8(w >> 16);
    p[2] = quint8(w >> 8);
    p[3] = quint8(w);
}

quint8 byteOf(quint32 w, int index) { return quint8(w >> (24 - 8 * index)); }

// InvMixColumns of one column, for the round keys of the equivalent inverse cipher.
quint32 invMixColumn(quint32 w)
{
    return Td[0][kSBox[byteOf(w, 0)]] ^ Td[1][kSBox[byteOf(w, 1)]] ^ Td[2][kSBox[byteOf(w, 2)]]
           ^ Td[3][kSBox[byteOf(w, 3)]];
}

// Blocks read and written per device call while streaming.
constexpr int kChunkBlocks = 4096;

// Opens a device the caller left closed; an open one must already allow the access needed.
bool prepare(QIODevice *device, QIODevice::OpenMode mode, bool *openedHere)
{
    *openedHere = false;
    if (!device)
        return false;
    if (device->isOpen())
        return (mode & QIODevice::WriteOnly) ? device->isWritable() : device->isReadable();
    *openedHere = device->open(mode);
    return *openedHere;
}

} // namespace

QByteArray AesCipher::storeKey()
{
    // Changing any byte makes every stored playlist, key and download index unreadable.
    const quint8 bytes[16] = {
        0x4c, 0x9e, 0x21, 0xd7, 0x83, 0x5a, 0xf0, 0x36,
        0xb2, 0x6d, 0x18, 0xe9, 0x74, 0xc5, 0x0b, 0xa3,
    };
    return QByteArray(reinterpret_cast<const char *>(bytes), sizeof(bytes));
}

AesCipher &AesCipher::setKey(int keyLength, const quint8 *key)
{
    if (!key || (keyLength != 16 && keyLength != 24 && keyLength != 32))
        return *this;
    m_nk = keyLength / 4;
    m_nr = m_nk + 6;
    expandKey(key);
    return *this;
}

AesCipher &AesCipher::setKey(const QByteArray &key)
{
    return setKey(key.size(), reinterpret_cast<const quint8 *>(key.constData()));
}

void AesCipher::expandKey(const quint8 *key)
{
    const auto subWord = [](quint32 w) {
        return quint32(kSBox[w >> 24]) << 24 | quint32(kSBox[(w >> 16) & 0xff]) << 16
               | quint32(kSBox[(w >> 8) & 0xff]) << 8 | kSBox[w & 0xff];
    };
    const int totalWords = (m_nr + 1) * 4;
    for (int i = 0; i < m_nk; ++i)
        m_encryptKeys[i] = loadWord(key + i * 4);
    for (int i = m_nk; i < totalWords; ++i) {
        quint32 word = m_encryptKeys[i - 1];
        if (i % m_nk == 0)
            word = subWord(rotateRight(word, 24)) ^ quint32(kRcon[i / m_nk]) << 24;
        else if (m_nk > 6 && i % m_nk == 4)
            word = subWord(word);
        m_encryptKeys[i] = m_encryptKeys[i - m_nk] ^ word;
    }

    // Deciphering uses the schedule round by round backwards, the inner rounds' keys passed
    // through InvMixColumns (the equivalent inverse cipher).
    for (int round = 0; round <= m_nr; ++round) {
        for (int c = 0; c < 4; ++c) {
            const quint32 w = m_encryptKeys[(m_nr - round) * 4 + c];
            m_decryptKeys[round * 4 + c] = (round == 0 || round == m_nr) ? w : invMixColumn(w);
        }
    }
}

void AesCipher::encryptBlock(const quint8 *input, quint8 *output)
{
    const quint32 *rk = m_encryptKeys;
    quint32 s0 = loadWord(input) ^ rk[0];
    quint32 s1 = loadWord(input + 4) ^ rk[1];
    quint32 s2 = loadWord(input + 8) ^ rk[2];
    quint32 s3 = loadWord(input + 12) ^ rk[3];
    for (int round = 1; round < m_nr; ++round) {
        rk += 4;
        const quint32 t0 = Te[0][s0 >> 24] ^ Te[1][(s1 >> 16) & 0xff] ^ Te[2][(s2 >> 8) & 0xff]
                           ^ Te[3][s3 & 0xff] ^ rk[0];
        const quint32 t1 = Te[0][s1 >> 24] ^ Te[1][(s2 >> 16) & 0xff] ^ Te[2][(s3 >> 8) & 0xff]
                           ^ Te[3][s0 & 0xff] ^ rk[1];
        const quint32 t2 = Te[0][s2 >> 24] ^ Te[1][(s3 >> 16) & 0xff] ^ Te[2][(s0 >> 8) & 0xff]
                           ^ Te[3][s1 & 0xff] ^ rk[2];
        const quint32 t3 = Te[0][s3 >> 24] ^ Te[1][(s0 >> 16) & 0xff] ^ Te[2][(s1 >> 8) & 0xff]
                           ^ Te[3][s2 & 0xff] ^ rk[3];
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    rk += 4;
    // The last round has no MixColumns: SubBytes and ShiftRows only.
    const auto last = [](quint32 a, quint32 b, quint32 c, quint32 d, quint32 key) {
        return (quint32(kSBox[a >> 24]) << 24 | quint32(kSBox[(b >> 16) & 0xff]) << 16
                | quint32(kSBox[(c >> 8) & 0xff]) << 8 | kSBox[d & 0xff])
               ^ key;
    };
    storeWord(last(s0, s1, s2, s3, rk[0]), output);
    storeWord(last(s1, s2, s3, s0, rk[1]), output + 4);
    storeWord(last(s2, s3, s0, s1, rk[2]), output + 8);
    storeWord(last(s3, s0, s1, s2, rk[3]), output + 12);
}

void AesCipher::decryptBlock(const quint8 *input, quint8 *output)
{
    const quint32 *rk = m_decryptKeys;
    quint32 s0 = loadWord(input) ^ rk[0];
    quint32 s1 = loadWord(input + 4) ^ rk[1];
    quint32 s2 = loadWord(input + 8) ^ rk[2];
    quint32 s3 = loadWord(input + 12) ^ rk[3];
    for (int round = 1; round < m_nr; ++round) {
        rk += 4;
        const quint32 t0 = Td[0][s0 >> 24] ^ Td[1][(s3 >> 16) & 0xff] ^ Td[2][(s2 >> 8) & 0xff]
                           ^ Td[3][s1 & 0xff] ^ rk[0];
        const quint32 t1 = Td[0][s1 >> 24] ^ Td[1][(s0 >> 16) & 0xff] ^ Td[2][(s3 >> 8) & 0xff]
                           ^ Td[3][s2 & 0xff] ^ rk[1];
        const quint32 t2 = Td[0][s2 >> 24] ^ Td[1][(s1 >> 16) & 0xff] ^ Td[2][(s0 >> 8) & 0xff]
                           ^ Td[3][s3 & 0xff] ^ rk[2];
        const quint32 t3 = Td[0][s3 >> 24] ^ Td[1][(s2 >> 16) & 0xff] ^ Td[2][(s1 >> 8) & 0xff]
                           ^ Td[3][s0 & 0xff] ^ rk[3];
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    rk += 4;
    const auto last = [](quint32 a, quint32 b, quint32 c, quint32 d, quint32 key) {
        return (quint32(kInvSBox[a >> 24]) << 24 | quint32(kInvSBox[(b >> 16) & 0xff]) << 16
                | quint32(kInvSBox[(c >> 8) & 0xff]) << 8 | kInvSBox[d & 0xff])
               ^ key;
    };
    storeWord(last(s0, s3, s2, s1, rk[0]), output);
    storeWord(last(s1, s0, s3, s2, rk[1]), output + 4);
    storeWord(last(s2, s1, s0, s3, rk[2]), output + 8);
    storeWord(last(s3, s2, s1, s0, rk[3]), output + 12);
}

bool AesCipher::streamBlocks(QIODevice *source, QIODevice *destination, Direction direction)
{
    // Whole chunks per device call (one call per block made the device overhead as large as
    // the cipher's); a short read from a sequential device is filled up before any block of
    // it is enciphered, so padding only ever ends the stream.
    // A file or buffer says how much is left: a key or playlist needs no 64 KiB buffers.
    qint64 size = qint64(kChunkBlocks) * BlockSize;
    if (!source->isSequential())
        size = qBound<qint64>(
            BlockSize, (source->bytesAvailable() + BlockSize - 1) / BlockSize * BlockSize, size);
    QByteArray input(int(size), Qt::Uninitialized);
    QByteArray output(int(size), Qt::Uninitialized);
    bool ended = false;
    while (!ended) {
        qint64 filled = 0;
        while (filled < input.size()) {
            if (source->atEnd()) {
                ended = true;
                break;
            }
            const qint64 got = source->read(input.data() + filled, input.size() - filled);
            if (got < 0)
                return false;
            if (got == 0) {
                ended = true;
                break;
            }
            filled += got;
        }
        if (filled == 0)
            break;
        const int blocks = int((filled + BlockSize - 1) / BlockSize);
        std::memset(input.data() + filled, 0, size_t(blocks * BlockSize - filled));
        auto *in = reinterpret_cast<const quint8 *>(input.constData());
        auto *out = reinterpret_cast<quint8 *>(output.data());
        for (int b = 0; b < blocks; ++b) {
            if (direction == Direction::Encrypt)
                encryptBlock(in + b * BlockSize, out + b * BlockSize);
            else
                decryptBlock(in + b * BlockSize, out + b * BlockSize);
        }
        const qint64 bytes = qint64(blocks) * BlockSize;
        if (destination->write(output.constData(), bytes) != bytes)
            return false;
        if (filled % BlockSize)
            break;
    }
    return true;
}

void AesCipher::streamDevice(QIODevice *source, QIODevice *destination, Direction direction)
{
    bool sourceOpened = false;
    if (!prepare(source, QIODevice::ReadOnly, &sourceOpened))
        return;
    bool destinationOpened = false;
    if (prepare(destination, QIODevice::ReadWrite, &destinationOpened))
        streamBlocks(source, destination, direction);
    if (destinationOpened)
        destination->close();
    if (sourceOpened)
        source->close();
}

void AesCipher::streamToFile(QIODevice *source, const QString &destinationPath, Direction direction)
{
    // An unreadable source must not touch the destination, so it is opened first.
    if (!source->open(QIODevice::ReadOnly))
        return;
    // Written aside and swapped in: a shorter rewrite leaves no stale tail, and a crash or
    // a failed write keeps the previous file whole.
    QSaveFile destination(destinationPath);
    if (destination.open(QIODevice::WriteOnly) && streamBlocks(source, &destination, direction))
        destination.commit();
    source->close();
}

void AesCipher::encryptDevice(QIODevice *source, QIODevice *destination)
{
    streamDevice(source, destination, Direction::Encrypt);
}

void AesCipher::decryptDevice(QIODevice *source, QIODevice *destination)
{
    streamDevice(source, destination, Direction::Decrypt);
}

void AesCipher::encryptFile(const QString &sourcePath, const QString &destinationPath)
{
    QFile source(sourcePath);
    streamToFile(&source, destinationPath, Direction::Encrypt);
}

void AesCipher::decryptFile(const QString &sourcePath, const QString &destinationPath)
{
    QFile source(sourcePath);
    streamToFile(&source, destinationPath, Direction::Decrypt);
}

void AesCipher::encryptBytesToFile(const QByteArray &data, const QString &destinationPath)
{
    QBuffer source;
    source.setData(data);
    streamToFile(&source, destinationPath, Direction::Encrypt);
}

QByteArray AesCipher::decryptFileToBytes(const QString &sourcePath)
{
    if (!QFile::exists(sourcePath))
        return QByteArray();
    QFile source(sourcePath);
    if (!source.open(QIODevice::ReadOnly))
        return QByteArray();
    QByteArray plain;
    plain.reserve(int(qMin<qint64>(source.size(), 16 * 1024 * 1024)));
    QBuffer destination(&plain);
    destination.open(QIODevice::WriteOnly);
    const bool complete = streamBlocks(&source, &destination, Direction::Decrypt);
    destination.close();
    source.close();
    // A read error leaves no trustworthy content; callers read empty as missing.
    return complete ? plain : QByteArray();
}
