#pragma once

#include <QDataStream>
#include <QList>

// Lists in the stored index: the element count (32-bit unsigned), then the elements.
// Reading is tolerant: a stream that ends inside a list keeps every element read so
// far, the last one included, so a cut index still yields what it holds.
namespace StreamList {

template <typename T>
void write(QDataStream &out, const QList<T> &list)
{
    out << quint32(list.size());
    for (const T &item : list)
        out << item;
}

template <typename T>
void read(QDataStream &in, QList<T> &list)
{
    list.clear();
    quint32 count = 0;
    in >> count;
    // No reserve(count): the count comes from disk and may be garbage.
    for (quint32 i = 0; i < count; ++i) {
        T item;
        in >> item;
        list.append(item);
        if (in.atEnd() || in.status() != QDataStream::Ok)
            break;
    }
}

} // namespace StreamList
