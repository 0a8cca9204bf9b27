#pragma once

#include <QList>
#include <QPair>
#include <QString>

// Settings of one service run, from the command line.
struct ServiceOptions
{
    int port = 0; // 0: any free port
    QString dataDir;
    QString mediaCache; // empty: <dataDir>/media
    QString updateVersion = QStringLiteral("3.4.3.0");
    QString dnsAccount = QStringLiteral("100861");
    int dnsTtl = 60;
    int demoLessonSeconds = 180;
    int demoCourses = 3; // courses of the demo account; above 3, generated ones are added
    QString staticDir;   // empty: no static files; else served under /static/
    QList<QPair<QString, QString>> faults; // fault key and value, in command-line order
};
