#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLockFile;

// One running copy per user: a lock file decides who is first, and a local socket named
// after the guard name lets a later copy ask the first one to come to the front.
class InstanceGuard : public QObject
{
    Q_OBJECT

public:
    explicit InstanceGuard(const QString &name, QObject *parent = nullptr);
    ~InstanceGuard() override;

    // True when this is the first copy; the lock is then held until the guard dies.
    bool tryAcquire();
    // A later copy: asks the running one to restore and raise its window.
    bool notifyRunningCopy();
    // The first copy: starts answering later copies. Needs the application object.
    bool listen();

signals:
    void activateRequested();

private:
    QString socketName() const;

    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
};
