#include "download/AesCipher.h"

#include <QBuffer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

namespace {

const quint8 *bytes(const QByteArray &data)
{
    return reinterpret_cast<const quint8 *>(data.constData());
}

QByteArray encryptOne(AesCipher &cipher, const QByteArray &block)
{
    QByteArray out(AesCipher::BlockSize, '\0');
    cipher.encryptBlock(bytes(block), reinterpret_cast<quint8 *>(out.data()));
    return out;
}

QByteArray decryptOne(AesCipher &cipher, const QByteArray &block)
{
    QByteArray out(AesCipher::BlockSize, '\0');
    cipher.decryptBlock(bytes(block), reinterpret_cast<quint8 *>(out.data()));
    return out;
}

// Deterministic content without zero bytes, so a lost or shifted byte shows.
QByteArray sample(int size, int seed = 7)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char(1 + (i * 31 + seed) % 251);
    return data;
}

QByteArray padded(const QByteArray &plain)
{
    const int size =
        (plain.size() + AesCipher::BlockSize - 1) / AesCipher::BlockSize * AesCipher::BlockSize;
    return plain + QByteArray(size - plain.size(), '\0');
}

// The expected enciphered form, block by block with zero padding.
QByteArray ecb(AesCipher &cipher, const QByteArray &plain)
{
    const QByteArray full = padded(plain);
    QByteArray out;
    for (int i = 0; i < full.size(); i += AesCipher::BlockSize)
        out += encryptOne(cipher, full.mid(i, AesCipher::BlockSize));
    return out;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A pipe-like source: sequential, and never more than a few bytes per read.
class TrickleDevice : public QIODevice
{
public:
    explicit TrickleDevice(const QByteArray &data)
        : m_data(data)
    {
    }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override
    {
        return m_data.size() - m_at + QIODevice::bytesAvailable();
    }
    bool atEnd() const override { return bytesAvailable() == 0; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        // 1 to 13 bytes: block boundaries almost never line up with a read.
        const qint64 step =
            qMin<qint64>(maxSize, qMin<qint64>(1 + m_reads++ % 13, m_data.size() - m_at));
        std::memcpy(data, m_data.constData() + m_at, size_t(step));
        m_at += int(step);
        return step;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_data;
    int m_at = 0;
    int m_reads = 0;
};

} // namespace

class TestAesCipher : public QObject
{
    Q_OBJECT

private slots:
    void knownAnswer_data();
    void knownAnswer();
    void unsupportedKeyLengthKeepsSchedule();
    void storeKeyRoundTrip();
    void streamingHelpersAgree_data();
    void streamingHelpersAgree();
    void missingFileDecryptsToEmpty();
    void rewriteLeavesNoStaleTail_data();
    void rewriteLeavesNoStaleTail();
    void unopenableSourceWritesNothing_data();
    void unopenableSourceWritesNothing();
    void deviceDestinationWrittenWhereItIs();
    void agreesWithOpenssl_data();
    void agreesWithOpenssl();
    void shortReadsPadOnlyTheEnd();

private:
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }
};

void TestAesCipher::knownAnswer_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("cipher");

    const QByteArray plain = QByteArray::fromHex("00112233445566778899aabbccddeeff");
    QTest::newRow("128-bit") << QByteArray::fromHex("000102030405060708090a0b0c0d0e0f") << plain
                             << QByteArray::fromHex("69c4e0d86a7b0430d8cdb78070b4c55a");
    QTest::newRow("192-bit") << QByteArray::fromHex(
        "000102030405060708090a0b0c0d0e0f1011121314151617")
                             << plain << QByteArray::fromHex("dda97ca4864cdfe06eaf70a0ec0d7191");
    QTest::newRow("256-bit") << QByteArray::fromHex(
        "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f")
                             << plain << QByteArray::fromHex("8ea2b7ca516745bfeafc49904b496089");
    QTest::newRow("128-bit worked example")
        << QByteArray::fromHex("2b7e151628aed2a6abf7158809cf4f3c")
        << QByteArray::fromHex("3243f6a8885a308d313198a2e0370734")
        << QByteArray::fromHex("3925841d02dc09fbdc118597196a0b32");
}

void TestAesCipher::knownAnswer()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, cipher);

    AesCipher aes;
    aes.setKey(key.size(), bytes(key));
    QCOMPARE(encryptOne(aes, plain).toHex(), cipher.toHex());
    QCOMPARE(decryptOne(aes, cipher).toHex(), plain.toHex());
}

void TestAesCipher::unsupportedKeyLengthKeepsSchedule()
{
    const QByteArray key = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");
    const QByteArray plain = QByteArray::fromHex("00112233445566778899aabbccddeeff");
    const QByteArray expected = QByteArray::fromHex("69c4e0d86a7b0430d8cdb78070b4c55a");

    AesCipher aes;
    aes.setKey(key);
    // An over-long key must neither overrun the key field nor disturb the current schedule.
    const QByteArray tooLong(64, '\x5a');
    aes.setKey(tooLong.size(), bytes(tooLong));
    aes.setKey(20, bytes(tooLong));
    aes.setKey(QByteArray());
    QCOMPARE(encryptOne(aes, plain).toHex(), expected.toHex());
}

void TestAesCipher::storeKeyRoundTrip()
{
    const QByteArray key = AesCipher::storeKey();
    QCOMPARE(key.size(), 16);
    QVERIFY(key != QByteArray(16, '\0'));

    AesCipher aes;
    aes.setKey(key);
    const QList<QByteArray> blocks = {QByteArray(16, '\0'), QByteArray(16, '\xff'), sample(16),
                                      QByteArray("#EXTM3U\n#EXT-X-V")};
    for (const QByteArray &block : blocks) {
        const QByteArray enciphered = encryptOne(aes, block);
        QVERIFY(enciphered != block);
        QCOMPARE(decryptOne(aes, enciphered), block);
    }

    // Another instance keyed the same way reads what this one wrote.
    AesCipher other;
    other.setKey(AesCipher::storeKey());
    QCOMPARE(decryptOne(other, encryptOne(aes, sample(16, 3))), sample(16, 3));
}

void TestAesCipher::streamingHelpersAgree_data()
{
    QTest::addColumn<int>("plainSize");
    QTest::addColumn<int>("cipherSize");

    QTest::newRow("empty") << 0 << 0;
    QTest::newRow("one byte") << 1 << 16;
    QTest::newRow("one block") << 16 << 16;
    QTest::newRow("two blocks") << 32 << 32;
    QTest::newRow("uneven, large") << 100003 << 100016;
}

void TestAesCipher::streamingHelpersAgree()
{
    QFETCH(int, plainSize);
    QFETCH(int, cipherSize);

    AesCipher aes;
    aes.setKey(AesCipher::storeKey());
    const QByteArray plain = sample(plainSize);
    const QByteArray expectedCipher = ecb(aes, plain);
    const QByteArray expectedPlain = padded(plain);
    QCOMPARE(expectedCipher.size(), cipherSize);

    // Enciphering: file, bytes and device helpers give the same block-by-block output.
    QVERIFY(writeFile(path("plain"), plain));
    aes.encryptFile(path("plain"), path("fromFile"));
    aes.encryptBytesToFile(plain, path("fromBytes"));
    QVERIFY(QFile::exists(path("fromFile")));
    QVERIFY(QFile::exists(path("fromBytes")));
    QCOMPARE(readFile(path("fromFile")), expectedCipher);
    QCOMPARE(readFile(path("fromBytes")), expectedCipher);

    QBuffer plainDevice;
    plainDevice.setData(plain);
    QByteArray deviceCipher;
    QBuffer cipherDevice(&deviceCipher);
    aes.encryptDevice(&plainDevice, &cipherDevice);
    QCOMPARE(deviceCipher, expectedCipher);
    QVERIFY(!plainDevice.isOpen());
    QVERIFY(!cipherDevice.isOpen());

    // Deciphering returns the content followed by the zero padding, by every route.
    QCOMPARE(aes.decryptFileToBytes(path("fromFile")), expectedPlain);
    aes.decryptFile(path("fromFile"), path("decrypted"));
    QCOMPARE(readFile(path("decrypted")), expectedPlain);

    QBuffer cipherSource;
    cipherSource.setData(expectedCipher);
    QByteArray devicePlain;
    QBuffer plainSink(&devicePlain);
    aes.decryptDevice(&cipherSource, &plainSink);
    QCOMPARE(devicePlain, expectedPlain);
}

void TestAesCipher::missingFileDecryptsToEmpty()
{
    AesCipher aes;
    aes.setKey(AesCipher::storeKey());
    QVERIFY(aes.decryptFileToBytes(path("no such file")).isEmpty());
    QVERIFY(aes.decryptFileToBytes(QString()).isEmpty());
    QVERIFY(!QFile::exists(path("no such file")));
}

void TestAesCipher::rewriteLeavesNoStaleTail_data()
{
    QTest::addColumn<QString>("helper");
    QTest::newRow("encryptFile") << "encryptFile";
    QTest::newRow("encryptBytesToFile") << "encryptBytesToFile";
    QTest::newRow("decryptFile") << "decryptFile";
}

void TestAesCipher::rewriteLeavesNoStaleTail()
{
    QFETCH(QString, helper);

    AesCipher aes;
    aes.setKey(AesCipher::storeKey());
    const QByteArray longPlain = sample(200, 1);
    const QByteArray shortPlain = sample(5, 2);
    const QString dest = path("rewrite-" + helper);

    for (const QByteArray &plain : {longPlain, shortPlain}) {
        if (helper == "encryptFile") {
            QVERIFY(writeFile(path("source"), plain));
            aes.encryptFile(path("source"), dest);
        } else if (helper == "encryptBytesToFile") {
            aes.encryptBytesToFile(plain, dest);
        } else {
            QVERIFY(writeFile(path("source"), ecb(aes, plain)));
            aes.decryptFile(path("source"), dest);
        }
    }

    if (helper == "decryptFile") {
        QCOMPARE(readFile(dest), padded(shortPlain));
    } else {
        QCOMPARE(QFileInfo(dest).size(), qint64(16));
        QCOMPARE(aes.decryptFileToBytes(dest), padded(shortPlain));
    }
}

void TestAesCipher::unopenableSourceWritesNothing_data()
{
    QTest::addColumn<QString>("helper");
    QTest::addColumn<bool>("destinationExists");

    for (const char *helper : {"encryptFile", "decryptFile", "encryptDevice", "decryptDevice"}) {
        QTest::addRow("%s, existing destination", helper) << QString(helper) << true;
        QTest::addRow("%s, no destination", helper) << QString(helper) << false;
    }
}

void TestAesCipher::unopenableSourceWritesNothing()
{
    QFETCH(QString, helper);
    QFETCH(bool, destinationExists);

    AesCipher aes;
    aes.setKey(AesCipher::storeKey());
    const QString source = path("missing-source");
    const QString dest = path(QString("untouched-%1-%2").arg(helper).arg(destinationExists));
    const QByteArray previous = "previous content that must survive";
    if (destinationExists)
        QVERIFY(writeFile(dest, previous));

    if (helper == "encryptFile") {
        aes.encryptFile(source, dest);
    } else if (helper == "decryptFile") {
        aes.decryptFile(source, dest);
    } else {
        QFile sourceFile(source);
        QFile destFile(dest);
        if (helper == "encryptDevice")
            aes.encryptDevice(&sourceFile, &destFile);
        else
            aes.decryptDevice(&sourceFile, &destFile);
        QVERIFY(!destFile.isOpen());
    }

    QCOMPARE(QFile::exists(dest), destinationExists);
    if (destinationExists)
        QCOMPARE(readFile(dest), previous);
}

void TestAesCipher::deviceDestinationWrittenWhereItIs()
{
    AesCipher aes;
    aes.setKey(AesCipher::storeKey());
    const QByteArray plain = sample(16);
    const QByteArray cipher = ecb(aes, plain);

    // A closed device is opened without truncation: the first block is overwritten in place.
    QByteArray existing(48, 'x');
    QBuffer closedDest(&existing);
    QBuffer source;
    source.setData(plain);
    aes.encryptDevice(&source, &closedDest);
    QCOMPARE(existing, cipher + QByteArray(32, 'x'));

    // An open device is written at its position and stays open for its owner.
    QByteArray framed;
    QBuffer openDest(&framed);
    QVERIFY(openDest.open(QIODevice::WriteOnly));
    openDest.write("HEAD");
    source.setData(plain);
    aes.encryptDevice(&source, &openDest);
    QVERIFY(openDest.isOpen());
    openDest.write("TAIL");
    QCOMPARE(framed, QByteArray("HEAD") + cipher + QByteArray("TAIL"));

    // An open source is read from its position on.
    QBuffer openSource;
    openSource.setData("skip" + plain);
    QVERIFY(openSource.open(QIODevice::ReadOnly));
    openSource.seek(4);
    QByteArray fromPosition;
    QBuffer sink(&fromPosition);
    aes.encryptDevice(&openSource, &sink);
    QCOMPARE(fromPosition, cipher);
    QVERIFY(openSource.isOpen());
}

void TestAesCipher::agreesWithOpenssl_data()
{
    QTest::addColumn<int>("keyBytes");
    QTest::newRow("128-bit") << 16;
    QTest::newRow("192-bit") << 24;
    QTest::newRow("256-bit") << 32;
}

// Every round table entry is used many times over 256 KiB of varied bytes: a wrong entry
// anywhere shows as a difference from an independent implementation.
void TestAesCipher::agreesWithOpenssl()
{
    QFETCH(int, keyBytes);
    QByteArray key(keyBytes, '\0');
    QByteArray plain(256 * 1024, '\0');
    quint32 x = 2463534242u + quint32(keyBytes);
    const auto next = [&x] {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return char(x >> 24);
    };
    for (char &b : key)
        b = next();
    for (char &b : plain)
        b = next();
    QVERIFY(writeFile(path("ossl-plain"), plain));

    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("enc"), QStringLiteral("-aes-%1-ecb").arg(keyBytes * 8),
                   QStringLiteral("-nopad"), QStringLiteral("-K"), QString::fromLatin1(key.toHex()),
                   QStringLiteral("-in"), path("ossl-plain"), QStringLiteral("-out"),
                   path("ossl-cipher")});
    QVERIFY2(openssl.waitForFinished(30000), "openssl (Debian package openssl) must be installed");
    QCOMPARE(openssl.exitCode(), 0);
    const QByteArray theirs = readFile(path("ossl-cipher"));
    QCOMPARE(theirs.size(), plain.size());

    AesCipher aes;
    aes.setKey(key);
    aes.encryptBytesToFile(plain, path("ours-cipher"));
    QVERIFY(readFile(path("ours-cipher")) == theirs);
    QVERIFY(aes.decryptFileToBytes(path("ossl-cipher")) == plain);
}

void TestAesCipher::shortReadsPadOnlyTheEnd()
{
    AesCipher aes;
    aes.setKey(AesCipher::storeKey());
    // Longer than the chunk the helpers read at once, and not a whole number of blocks.
    const QByteArray plain = sample(150001);
    TrickleDevice source(plain);
    QByteArray cipher;
    QBuffer sink(&cipher);
    aes.encryptDevice(&source, &sink);
    QVERIFY(cipher == ecb(aes, plain));

    TrickleDevice back(cipher);
    QByteArray deciphered;
    QBuffer plainSink(&deciphered);
    aes.decryptDevice(&back, &plainSink);
    QVERIFY(deciphered == padded(plain));
}

QTEST_GUILESS_MAIN(TestAesCipher)
#include "tst_aescipher.moc"
