#include "download/UserIndex.h"

#include "app/Accessors.h"
#include "app/Version.h"
#include "download/AesCipher.h"
#include "model/UserSession.h"

#include <QDataStream>
#include <QDateTime>

QString UserIndex::fileFor(const QString &userStoreFile)
{
    return userStoreFile + QLatin1Char('c');
}

bool UserIndex::read(const QString &indexFile, UserSession &user)
{
    AesCipher *cipher = localCipher();
    if (!cipher)
        return false;
    QByteArray plain = cipher->decryptFileToBytes(indexFile);
    if (plain.isEmpty())
        return false;
    QDataStream in(&plain, QIODevice::ReadOnly);
    in >> user;
    return true;
}

bool UserIndex::signsInAgain(const UserSession &user)
{
    const QDateTime loginTime = user.loginTime;
    return !isNewerVersion(QStringLiteral("2.0.0.0"), user.version) && loginTime.isValid()
           && loginTime.msecsTo(QDateTime::currentDateTime()) < SignInDays * 24 * 3600 * 1000;
}
