#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>

struct Courseware;

// The lesson address reply: which lesson, where its playlist is, and the key cookie value.
struct M3u8Context
{
    Courseware *courseware = nullptr;
    QString url;
    QString filesize;
    double sizeMb = 0;
    double watchtimes = 0;
    QByteArray keys; // percent-encoded
};

Q_DECLARE_METATYPE(M3u8Context)
