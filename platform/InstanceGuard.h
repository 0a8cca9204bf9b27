#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLockFile;

// One running copy per user: a lock file decides who is first, and a local socket lets a
// later copy ask the first one to come to the front. Both live at absolute paths in a
// folder of this user's alone (0700), so no other account can hold the lock, catch the
// activation or make a start end without a word.
class InstanceGuard : public QObject
{
    Q_OBJECT

public:
    explicit InstanceGuard(const QString &name, QObject *parent = nullptr);
    ~InstanceGuard() override;

    // True when this copy may run: it holds the lock, or no private folder could be had at
    // all (then it runs unguarded rather than not at all). False: another copy holds it.
    bool tryAcquire();
    // A later copy: asks the running one to restore and raise its window; false when no
    // copy answered.
    bool notifyRunningCopy();
    // The first copy: starts answering later copies. Needs the application object.
    bool listen();

    // The private folder in use; empty before tryAcquire or when none could be had.
    QString folder() const { return m_folder; }
    // The first of the candidate folders that is, or could be made, private to this user:
    // under XDG_RUNTIME_DIR, then the temporary folder, then the user's cache folder.
    static QString choosePrivateFolder();

signals:
    void activateRequested();

private:
    QString lockPath() const;
    QString socketPath() const;

    QString m_name;
    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
};
