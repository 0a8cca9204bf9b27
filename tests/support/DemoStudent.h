#pragma once

#include "download/FileStream.h"
#include "support/DemoClient.h"
#include "support/TestAppState.h"

#include <QString>

class DemoService;

// The demo student's client side, ready to sign in: app state in a private folder (or in
// root, kept), the service client pointed at the running demo service, the download queue
// registered and listening to it, and the student's user folder and store file set, since a
// reused session id skips the sign-in that would set them.
struct DemoStudent
{
    explicit DemoStudent(const DemoService &service, const QString &root = QString());
    ~DemoStudent();

    DemoStudent(const DemoStudent &) = delete;
    DemoStudent &operator=(const DemoStudent &) = delete;

    AppState &state() { return env.state(); }

    TestAppState env;
    DemoClient client;
    FileStream queue;
};
