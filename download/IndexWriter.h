#pragma once

#include "model/UserSession.h"

#include <QMap>
#include <QObject>
#include <QString>

class QTimer;

// Writes user records into their enciphered indexes (temporary file, flush, rename over the
// index). A record that cannot be written stays here, is written again with every later
// write and every RetryMs, and is told once through FailedSignal until writing works again.
class IndexWriter : public QObject
{
    Q_OBJECT

public:
    static constexpr int RetryMs = 5000;

    explicit IndexWriter(QObject *parent = nullptr);
    // A last try for what is still waiting.
    ~IndexWriter() override;

    // Replaces what waits for this store file with the record and writes everything waiting;
    // true when this record is on disk.
    bool write(const QString &storeFile, const UserSession &record);
    bool isWaiting(const QString &storeFile) const { return m_waiting.contains(storeFile); }
    UserSession waiting(const QString &storeFile) const { return m_waiting.value(storeFile); }
    QList<UserSession> allWaiting() const { return m_waiting.values(); }

    // One record into the index of a user store file, or false with the index untouched.
    static bool writeIndex(const QString &storeFile, const UserSession &record);

signals:
    void FailedSignal(const QString &text);

private:
    bool writeWaiting();

    QMap<QString, UserSession> m_waiting; // by store file
    QTimer *m_retry = nullptr;
    bool m_told = false;
};
