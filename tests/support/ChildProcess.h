#pragma once

#include <QProcess>

// A process that ends with the test that started it. A test that crashes must not leave its
// server behind: the server holds the test's output open, and ctest would wait for it until
// the time limit instead of reporting the crash.
class ChildProcess : public QProcess
{
protected:
    void setupChildProcess() override;
};
