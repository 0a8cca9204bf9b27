#pragma once

#include "api/APIHandler.h"
#include "api/LearningProgress.h"
#include "model/M3u8Context.h"

#include <QByteArray>
#include <QString>

class DemoService;
struct Courseware;

// The client side of the demo service for download tests: points the service settings at
// a running DemoService, registers an APIHandler and the learning progress with the accessors and
// signs the demo student in. Needs a registered app state (TestAppState).
//
//     DemoClient client(service);
//     QVERIFY2(client.signIn(), qPrintable(client.errorString()));
//     M3u8Context address;
//     QVERIFY(client.lessonAddress(lesson, &address));
class DemoClient
{
public:
    explicit DemoClient(const DemoService &service);
    ~DemoClient();

    DemoClient(const DemoClient &) = delete;
    DemoClient &operator=(const DemoClient &) = delete;

    APIHandler &api() { return m_api; }
    LearningProgress &progress() { return m_progress; }
    QString errorString() const { return m_error; }

    // A session id, then the sign-in of the demo student; a known session id is reused.
    bool signIn();
    // The download address reply (type 9) of one lesson.
    bool lessonAddress(Courseware *lesson, M3u8Context *address);
    // GET as the media server wants it (courseware host named, key cookie when given);
    // empty on any failure.
    static QByteArray fetchMedia(const QString &url, const QByteArray &keyCookie = QByteArray(),
                                 bool nameCoursewareHost = true);

    static constexpr const char *demoUser = "13800138000";
    static constexpr const char *demoPassword = "lumra2026";

private:
    APIHandler m_api;
    LearningProgress m_progress{&m_api};
    quint16 m_port = 0;
    QString m_error;
};
