#pragma once

#include "support/ChildProcess.h"
#include <QJsonObject>
#include <QList>
#include <QMap>

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

// Runs the local demo course service for one test: the binary named by LUMRA_DEMO_SERVICE,
// on a free port, with its state in a temporary folder and its generated media in a cache
// shared by all tests (LUMRA_DEMO_MEDIA_CACHE, default <temp>/lumra-demo-media-cache).
//
//     DemoService service;
//     QVERIFY2(service.start(), qPrintable(service.errorString()));
//     service.applyToCurrentProcess();             // client code now talks to it
//     service.setFaults({{"latency", "200"}});      // see tools/demo-service/README.md
//     const QList<QJsonObject> log = service.requestLog();
//
// The process is stopped (SIGTERM, then killed) by stop() or the destructor.
class DemoService
{
public:
    explicit DemoService(const QStringList &extraArguments = {});
    ~DemoService();

    DemoService(const DemoService &) = delete;
    DemoService &operator=(const DemoService &) = delete;

    // Starts the service and waits for its "listening" and "export" lines.
    bool start(int timeoutMs = 60000);
    void stop();
    // Stops the service and starts it again on the same port with an empty data folder, as
    // a service that lost its sessions: every session id a client holds is unknown to it.
    // The request log starts anew too.
    bool restartWithFreshData();
    // Stops the service and starts it again on the same port with the same data folder: a
    // service that was down for a while. Sessions, learning progress and the log go on.
    bool restart();
    bool isRunning() const;
    QString errorString() const { return m_error; }

    quint16 port() const { return m_port; }
    QString dataDir() const { return m_dataDir->path(); }
    QString requestLogPath() const;
    QString uploadsDir() const;

    // The client's service settings: LUMRA_WEB_HOST, LUMRA_COURSEWARE_HOST, ...
    QMap<QString, QString> variables() const { return m_variables; }
    QString variable(const QString &name) const { return m_variables.value(name); }
    // The system environment plus the variables, for starting the client as a process.
    QProcessEnvironment processEnvironment() const;
    // qputenv of every variable, for client code running inside the test.
    void applyToCurrentProcess() const;

    // "http://127.0.0.1:PORT" + path.
    QUrl webUrl(const QString &pathAndQuery) const;

    // Every entry of the request log so far, oldest first.
    QList<QJsonObject> requestLog() const;
    // Entries whose "endpoint" is the given one ("dologin", "segment", "key", "dns", ...).
    QList<QJsonObject> requestLog(const QString &endpoint) const;

    // Sets faults or settings through the control endpoint; true when all were accepted.
    bool setFaults(const QList<QPair<QString, QString>> &settings);
    bool clearFaults();
    // The control endpoint's answer to the last setFaults/clearFaults.
    QJsonObject controlState() const { return m_controlState; }

private:
    bool control(const QString &query);

    QStringList m_extraArguments;
    std::unique_ptr<QTemporaryDir> m_dataDir = std::make_unique<QTemporaryDir>();
    ChildProcess m_process;
    quint16 m_port = 0;
    QMap<QString, QString> m_variables;
    QJsonObject m_controlState;
    QString m_error;
};
