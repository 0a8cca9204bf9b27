#include "support/DemoStudent.h"

#include "app/Accessors.h"

#include <QDir>

DemoStudent::DemoStudent(const DemoService &service, const QString &root)
    : env(root)
    , client(service)
{
    registerFileStream(&queue);
    queue.attachApiHandler(&client.api());
    AppState &s = env.state();
    s.userDataDir = s.userDir + QLatin1Char('/') + QLatin1String(DemoClient::demoUser);
    QDir().mkpath(s.userDataDir);
    s.userStoreFile = s.userDataDir + QStringLiteral("/kecheng.zg");
}

DemoStudent::~DemoStudent() { registerFileStream(nullptr); }
