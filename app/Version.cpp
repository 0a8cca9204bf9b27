#include "app/Version.h"

#include <QStringList>

bool isNewerVersion(const QString &a, const QString &b)
{
    const QStringList left = a.split(QLatin1Char('.'));
    const QStringList right = b.split(QLatin1Char('.'));
    if (left.size() != right.size())
        return left.size() > right.size();
    for (int i = 0; i < left.size(); ++i) {
        const qlonglong l = left.at(i).toLongLong();
        const qlonglong r = right.at(i).toLongLong();
        if (l != r || i == left.size() - 1)
            return l > r;
    }
    return false;
}
