#pragma once

#include "Catalogue.h"

#include <QHash>
#include <QString>

#include <mutex>

// Accounts, sessions and learning progress. Registered accounts live as long as the process;
// sessions and progress are kept in the data folder so a client's stored session id and its
// learning survive a restart.
class AccountStore
{
public:
    AccountStore(const Catalogue &catalogue, const QString &stateFile);

    QString newSession();
    // Binds the session to the account on success; on failure *message says why.
    bool signIn(const QString &sid, const QString &username, const QString &password,
                Account *account, QString *message);
    bool registerAccount(const QString &username, const QString &password, const QString &repeated,
                         QString *message);
    bool changePassword(const QString &username, const QString &oldPassword,
                        const QString &newPassword, const QString &repeated, QString *message);
    // The account signed in under this session id, if any.
    bool accountForSession(const QString &sid, Account *account) const;

    int learnStatus(const QString &uid, const QString &lessonId) const;
    // Returns false when the lesson already had this status.
    bool setLearnStatus(const QString &uid, const QString &lessonId, int status);
    QString watchTime(const QString &uid, const QString &lessonId) const;
    void setWatchTime(const QString &uid, const QString &lessonId, const QString &value);

private:
    void loadSessions();
    void saveSessionsLocked() const; // sessions and progress

    QString m_stateFile;
    mutable std::mutex m_mutex;
    QHash<QString, Account> m_accounts;   // by user name
    QHash<QString, QString> m_sessions;   // session id -> user name
    QHash<QString, int> m_learnStatus;    // uid + "/" + lesson id
    QHash<QString, QString> m_watchTimes; // uid + "/" + lesson id
    int m_nextUid = 20001;
};
