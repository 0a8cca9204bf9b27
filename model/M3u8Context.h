#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>

// The lesson address reply: which lesson (by ids, to be looked up where it lives now), where
// its playlist is, and the key cookie value.
struct M3u8Context
{
    QString courseId;
    QString lessonId;
    QString url;
    QString filesize;
    double sizeMb = 0;
    double watchtimes = 0;
    QByteArray keys; // percent-encoded
};

Q_DECLARE_METATYPE(M3u8Context)
