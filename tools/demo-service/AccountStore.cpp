#include "AccountStore.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSaveFile>

namespace {

QString progressKey(const QString &uid, const QString &lessonId)
{
    return uid + QLatin1Char('/') + lessonId;
}

} // namespace

AccountStore::AccountStore(const Catalogue &catalogue, const QString &stateFile)
    : m_stateFile(stateFile)
{
    for (const Account &account : catalogue.accounts())
        m_accounts.insert(account.username, account);
    loadSessions();
}

void AccountStore::loadSessions()
{
    QFile file(m_stateFile);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QJsonObject state = QJsonDocument::fromJson(file.readAll()).object();
    const QJsonObject sessions = state.value(QStringLiteral("sessions")).toObject();
    for (auto it = sessions.begin(); it != sessions.end(); ++it) {
        // Sessions of accounts registered in an earlier run are gone with those accounts.
        if (m_accounts.contains(it.value().toString()))
            m_sessions.insert(it.key(), it.value().toString());
    }
    // Learning progress outlives a restart, as a real service's does.
    const QJsonObject statuses = state.value(QStringLiteral("learnStatus")).toObject();
    for (auto it = statuses.begin(); it != statuses.end(); ++it)
        m_learnStatus.insert(it.key(), it.value().toInt());
    const QJsonObject watchTimes = state.value(QStringLiteral("watchTimes")).toObject();
    for (auto it = watchTimes.begin(); it != watchTimes.end(); ++it)
        m_watchTimes.insert(it.key(), it.value().toString());
}

void AccountStore::saveSessionsLocked() const
{
    QJsonObject sessions;
    for (auto it = m_sessions.begin(); it != m_sessions.end(); ++it)
        sessions.insert(it.key(), it.value());
    QJsonObject statuses;
    for (auto it = m_learnStatus.begin(); it != m_learnStatus.end(); ++it)
        statuses.insert(it.key(), it.value());
    QJsonObject watchTimes;
    for (auto it = m_watchTimes.begin(); it != m_watchTimes.end(); ++it)
        watchTimes.insert(it.key(), it.value());
    QSaveFile file(m_stateFile);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(QJsonDocument(QJsonObject{{QStringLiteral("sessions"), sessions},
                                             {QStringLiteral("learnStatus"), statuses},
                                             {QStringLiteral("watchTimes"), watchTimes}})
                       .toJson());
        file.commit();
    }
}

QString AccountStore::newSession()
{
    const quint64 high = QRandomGenerator::global()->generate64();
    const quint64 low = QRandomGenerator::global()->generate64();
    return QStringLiteral("%1%2")
        .arg(high, 16, 16, QLatin1Char('0'))
        .arg(low, 16, 16, QLatin1Char('0'));
}

bool AccountStore::signIn(const QString &sid, const QString &username, const QString &password,
                          Account *account, QString *message)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (sid.isEmpty()) {
        *message = QStringLiteral("会话无效，请重新打开程序");
        return false;
    }
    const auto it = m_accounts.constFind(username);
    if (username.isEmpty() || it == m_accounts.constEnd()) {
        *message = QStringLiteral("该账号不存在");
        return false;
    }
    if (it->password != password) {
        *message = QStringLiteral("密码错误，请重新输入");
        return false;
    }
    *account = *it;
    m_sessions.insert(sid, username);
    saveSessionsLocked();
    *message = QStringLiteral("登录成功");
    return true;
}

bool AccountStore::registerAccount(const QString &username, const QString &password,
                                   const QString &repeated, QString *message)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (username.trimmed().isEmpty()) {
        *message = QStringLiteral("请输入用户名");
        return false;
    }
    if (m_accounts.contains(username)) {
        *message = QStringLiteral("该用户名已被注册");
        return false;
    }
    if (password.size() < 6) {
        *message = QStringLiteral("密码长度不能少于6位");
        return false;
    }
    if (password != repeated) {
        *message = QStringLiteral("两次输入的密码不一致");
        return false;
    }
    Account account{username, password, QString::number(m_nextUid++), username, QString(), {}};
    m_accounts.insert(username, account);
    *message = QStringLiteral("注册成功");
    return true;
}

bool AccountStore::changePassword(const QString &username, const QString &oldPassword,
                                  const QString &newPassword, const QString &repeated,
                                  QString *message)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_accounts.find(username);
    if (it == m_accounts.end()) {
        *message = QStringLiteral("该账号不存在");
        return false;
    }
    if (it->password != oldPassword) {
        *message = QStringLiteral("原密码错误");
        return false;
    }
    if (newPassword.size() < 6) {
        *message = QStringLiteral("新密码长度不能少于6位");
        return false;
    }
    if (newPassword != repeated) {
        *message = QStringLiteral("两次输入的新密码不一致");
        return false;
    }
    it->password = newPassword;
    *message = QStringLiteral("密码修改成功");
    return true;
}

bool AccountStore::accountForSession(const QString &sid, Account *account) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto session = m_sessions.constFind(sid);
    if (sid.isEmpty() || session == m_sessions.constEnd())
        return false;
    const auto it = m_accounts.constFind(session.value());
    if (it == m_accounts.constEnd())
        return false;
    *account = *it;
    return true;
}

int AccountStore::learnStatus(const QString &uid, const QString &lessonId) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_learnStatus.value(progressKey(uid, lessonId), 0);
}

bool AccountStore::setLearnStatus(const QString &uid, const QString &lessonId, int status)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const QString key = progressKey(uid, lessonId);
    if (m_learnStatus.value(key, 0) == status && m_learnStatus.contains(key))
        return false;
    m_learnStatus.insert(key, status);
    saveSessionsLocked();
    return true;
}

QString AccountStore::watchTime(const QString &uid, const QString &lessonId) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_watchTimes.value(progressKey(uid, lessonId), QStringLiteral("0"));
}

void AccountStore::setWatchTime(const QString &uid, const QString &lessonId, const QString &value)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_watchTimes.insert(progressKey(uid, lessonId), value);
    saveSessionsLocked();
}
