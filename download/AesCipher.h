#pragma once

#include <QByteArray>
#include <QtGlobal>

class QIODevice;
class QString;

// AES block cipher (16-, 24- or 32-byte keys) with whole-file and whole-buffer helpers.
// Stored playlists, media keys and the download index are kept in this form: blocks are
// enciphered independently (ECB), the last one padded with zero bytes, no header.
class AesCipher
{
public:
    static constexpr int BlockSize = 16;

    AesCipher() = default;

    // The fixed key every stored file of this program is enciphered with.
    static QByteArray storeKey();

    // keyLength must be 16, 24 or 32; any other length leaves the key schedule unchanged.
    AesCipher &setKey(int keyLength, const quint8 *key);
    AesCipher &setKey(const QByteArray &key);

    void encryptBlock(const quint8 *input, quint8 *output);
    void decryptBlock(const quint8 *input, quint8 *output);

    // Devices the caller has not opened are opened here (the destination read-write, without
    // truncation, so it is written from its start) and closed again; already open devices are
    // used from their current position and left open.
    void encryptDevice(QIODevice *source, QIODevice *destination);
    void decryptDevice(QIODevice *source, QIODevice *destination);

    // A destination file is replaced as a whole, and only when the source could be read.
    void encryptFile(const QString &sourcePath, const QString &destinationPath);
    void decryptFile(const QString &sourcePath, const QString &destinationPath);
    void encryptBytesToFile(const QByteArray &data, const QString &destinationPath);
    // Empty when the file is missing or unreadable; otherwise whole blocks, padding included.
    QByteArray decryptFileToBytes(const QString &sourcePath);

private:
    enum class Direction {
        Encrypt,
        Decrypt
    };

    void streamDevice(QIODevice *source, QIODevice *destination, Direction direction);
    void streamToFile(QIODevice *source, const QString &destinationPath, Direction direction);
    bool streamBlocks(QIODevice *source, QIODevice *destination, Direction direction);

    void expandKey(const quint8 *key);

    qint32 m_nk = 4;
    qint32 m_nr = 10;
    // The key schedule as 32-bit columns (first byte in the high bits), and in the order
    // deciphering uses it.
    quint32 m_encryptKeys[60] = {};
    quint32 m_decryptKeys[60] = {};
};
