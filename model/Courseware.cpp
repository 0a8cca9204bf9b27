#include "model/Courseware.h"

#include "model/JsonRead.h"
#include "model/StreamList.h"

#include <QDataStream>

Courseware Courseware::fromJson(const QString &courseId, const QJsonObject &object)
{
    Courseware cw;
    cw.courseId = courseId;
    cw.id = JsonRead::text(object, "id");
    cw.type = JsonRead::text(object, "type");
    cw.title = JsonRead::text(object, "title");
    cw.cTime = JsonRead::text(object, "c_time");
    cw.watchtimes = JsonRead::text(object, "watchtimes");
    cw.number = JsonRead::numberText(object, "number");
    cw.cType = JsonRead::numberText(object, "c_type");
    cw.stutas = JsonRead::numberText(object, "stutas");
    cw.level = levelForType(cw.type);
    return cw;
}

qint32 Courseware::levelForType(const QString &type)
{
    // Only the three exact words are known; anything else is neither playable nor a heading.
    if (type == QLatin1String("zhang"))
        return Chapter;
    if (type == QLatin1String("jie"))
        return Section;
    if (type == QLatin1String("kejian"))
        return Lesson;
    return 0;
}

QDataStream &operator<<(QDataStream &out, const Courseware &cw)
{
    out << cw.id << cw.number << cw.cType << cw.type << cw.title << cw.cTime << cw.level
        << cw.downloadState << cw.reserved << cw.localPath << cw.courseId << cw.stutas
        << cw.watchtimes;
    return out;
}

QDataStream &operator>>(QDataStream &in, Courseware &cw)
{
    in >> cw.id >> cw.number >> cw.cType >> cw.type >> cw.title >> cw.cTime >> cw.level
        >> cw.downloadState >> cw.reserved >> cw.localPath >> cw.courseId >> cw.stutas
        >> cw.watchtimes;
    return in;
}

QDataStream &operator<<(QDataStream &out, const QList<Courseware> &list)
{
    StreamList::write(out, list);
    return out;
}

QDataStream &operator>>(QDataStream &in, QList<Courseware> &list)
{
    StreamList::read(in, list);
    return in;
}
