#include "download/IndexWriter.h"

#include "app/Accessors.h"
#include "app/Log.h"
#include "download/AesCipher.h"
#include "download/FileStream.h"
#include "platform/AtomicFile.h"

#include <QDataStream>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

namespace {
const char *const kIndexNotSaved =
    "下载列表保存失败：程序数据所在的磁盘已满或无法写入，程序会自动重试";
}

IndexWriter::IndexWriter(QObject *parent)
    : QObject(parent)
    , m_retry(new QTimer(this))
{
    m_retry->setInterval(RetryMs);
    connect(m_retry, &QTimer::timeout, this, &IndexWriter::writeWaiting);
}

IndexWriter::~IndexWriter()
{
    if (!m_waiting.isEmpty()) {
        const QSignalBlocker quiet(this);
        writeWaiting();
    }
}

bool IndexWriter::write(const QString &storeFile, const UserSession &record)
{
    m_waiting.insert(storeFile, record);
    writeWaiting();
    return !m_waiting.contains(storeFile);
}

bool IndexWriter::writeWaiting()
{
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        if (writeIndex(it.key(), it.value()))
            it = m_waiting.erase(it);
        else
            ++it;
    }
    if (m_waiting.isEmpty()) {
        m_retry->stop();
        m_told = false;
        return true;
    }
    writeLog(QStringLiteral("download index not written: ") + m_waiting.firstKey());
    if (!m_retry->isActive())
        m_retry->start();
    if (!m_told) {
        m_told = true;
        emit FailedSignal(QString::fromUtf8(kIndexNotSaved));
    }
    return false;
}

bool IndexWriter::writeIndex(const QString &storeFile, const UserSession &record)
{
    AesCipher *cipher = localCipher();
    if (!cipher)
        return false;
    const QString target = FileStream::indexFileFor(storeFile);
    const QString temp = target + QStringLiteral(".tmp");
    QByteArray plain;
    QDataStream out(&plain, QIODevice::WriteOnly);
    out << record;
    QFile::remove(temp);
    cipher->encryptBytesToFile(plain, temp);

    // A short temporary file means the write failed: keep the previous index.
    const qint64 expected =
        (plain.size() + AesCipher::BlockSize - 1) / AesCipher::BlockSize * AesCipher::BlockSize;
    if (QFileInfo(temp).size() != expected || !AtomicFile::commit(temp, target)) {
        QFile::remove(temp);
        return false;
    }
    // Older versions kept a plain copy during a save; it must not outlive one.
    QFile::remove(storeFile);
    return true;
}
