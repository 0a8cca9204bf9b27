#include "support/LessonCheck.h"

#include "model/Courseware.h"
#include "model/M3u8Context.h"
#include "support/DemoClient.h"

#include <QDir>
#include <QFile>

QString compareWithServed(DemoClient &client, Courseware lesson, const QString &folder)
{
    M3u8Context address;
    if (!client.lessonAddress(&lesson, &address))
        return QStringLiteral("no address: ") + client.errorString();
    const QByteArray playlist = DemoClient::fetchMedia(address.url);
    if (playlist.isEmpty())
        return QStringLiteral("no playlist");
    const QString base = address.url.left(address.url.lastIndexOf(QLatin1Char('/')) + 1);
    int segments = 0;
    for (const QString &line : QString::fromUtf8(playlist).split(QLatin1Char('\n'))) {
        const QString name = line.trimmed();
        if (name.isEmpty() || name.startsWith(QLatin1Char('#')))
            continue;
        ++segments;
        QFile local(folder + QLatin1Char('/') + name);
        if (!local.open(QIODevice::ReadOnly))
            return QStringLiteral("missing ") + name;
        if (local.readAll() != DemoClient::fetchMedia(base + name))
            return QStringLiteral("differs ") + name;
    }
    if (segments == 0)
        return QStringLiteral("no segments in the playlist");
    if (!QDir(folder).entryList(QStringList() << QStringLiteral("*.part"), QDir::Files).isEmpty())
        return QStringLiteral("a .part file is left");
    return QString();
}
