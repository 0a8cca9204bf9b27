#pragma once

#include <QJsonObject>
#include <QString>
#include <QUrlQuery>

#include <mutex>

class AccountStore;
class Catalogue;
class MediaLibrary;

// The course service's web API: one answer object per endpoint, given the decoded query.
// Signature and client header checks happen before (DemoServer); this is the business part.
class CourseApi
{
public:
    CourseApi(const Catalogue &catalogue, AccountStore &accounts, const MediaLibrary &media,
              const QString &webHost, const QString &coursewareHost, const QString &updateVersion);

    static bool isEndpoint(const QString &name);
    static bool isSigned(const QString &name);

    QJsonObject answer(const QString &endpoint, const QUrlQuery &query);

    void setUpdateVersion(const QString &version);
    QString updateVersion() const;

    QString avatarUrl(const QString &uid) const;
    QString installerPath() const; // path part of the installer address for the current version

private:
    QJsonObject update() const;
    QJsonObject sessionId();
    QJsonObject signIn(const QUrlQuery &query);
    QJsonObject registration(const QUrlQuery &query);
    QJsonObject passwordChange(const QUrlQuery &query);
    QJsonObject courseList(const QUrlQuery &query) const;
    QJsonObject courseDetail(const QUrlQuery &query) const;
    QJsonObject lessonKeys(const QUrlQuery &query) const;
    QJsonObject learnStatus(const QUrlQuery &query);
    QJsonObject watchTime(const QUrlQuery &query);

    const Catalogue &m_catalogue;
    AccountStore &m_accounts;
    const MediaLibrary &m_media;
    QString m_webHost;
    QString m_coursewareHost;
    mutable std::mutex m_mutex;
    QString m_updateVersion;
};
