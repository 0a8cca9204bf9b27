#include "IcoWriter.h"

#include <QBuffer>
#include <QDataStream>
#include <QSaveFile>

bool IcoWriter::write(const QString &path, const QVector<QImage> &images)
{
    QVector<QByteArray> blobs;
    for (const QImage &image : images) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "PNG"))
            return false;
        blobs << png;
    }

    QByteArray out;
    QDataStream stream(&out, QIODevice::WriteOnly);
    stream.setByteOrder(QDataStream::LittleEndian);
    stream << quint16(0) << quint16(1) << quint16(images.size());
    quint32 offset = 6 + 16 * quint32(images.size());
    for (int i = 0; i < images.size(); ++i) {
        const int w = images[i].width();
        const int h = images[i].height();
        // A size of 256 is stored as 0.
        stream << quint8(w >= 256 ? 0 : w) << quint8(h >= 256 ? 0 : h) << quint8(0) << quint8(0)
               << quint16(1) << quint16(32) << quint32(blobs[i].size()) << offset;
        offset += quint32(blobs[i].size());
    }
    for (const QByteArray &blob : blobs)
        stream.writeRawData(blob.constData(), blob.size());

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(out);
    return file.commit();
}
