#include "app/AppFolders.h"

#include "app/AppInfo.h"
#include "app/AppState.h"
#include "app/SettingKeys.h"
#include "app/Settings.h"
#include "platform/PrivateFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QSettings>

void AppFolders::setUp(AppState &state, const QString &documentsDir, const QStringList &roots)
{
    // Without a documents folder the data folder is relative to the working directory.
    state.dataDir = documentsDir + AppInfo::displayName();
    // The documents folder itself may be missing on a fresh desktop: made as any folder of
    // the desktop would be. What the program keeps under it is for this user alone.
    if (!documentsDir.isEmpty())
        QDir().mkpath(documentsDir);
    PrivateFiles::restrictNewFiles();
    PrivateFiles::makeFolder(state.dataDir);
    state.userDir = state.dataDir + QStringLiteral("/user");
    PrivateFiles::makeFolder(state.userDir);
    PrivateFiles::closeTree(state.dataDir);

    state.openSettings(state.dataDir + QLatin1Char('/') + AppInfo::settingsFileName());

    state.downloadDir = Settings::text(state.settings.get(), SettingKeys::VideoPath);
    if (state.downloadDir.trimmed().isEmpty()) {
        state.downloadDir = chooseDownloadDir(roots);
        Settings::setText(state.settings.get(), SettingKeys::VideoPath, state.downloadDir);
    }
    if (!state.downloadDir.isEmpty())
        QDir().mkpath(state.downloadDir);

    state.logPath = state.dataDir + QLatin1Char('/') + AppInfo::logFileName();
}

QString AppFolders::chooseDownloadDir(const QStringList &roots)
{
    for (int i = roots.size() - 1; i >= 0; --i) {
        const QString candidate = roots.at(i) + AppInfo::defaultDownloadFolderName();
        if (QDir().mkpath(candidate))
            return candidate;
    }
    return QString();
}

bool AppFolders::isSafeFolderName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    return !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'))
           && !name.contains(QChar(0));
}

QString AppFolders::userFolderName(const QString &loginName)
{
    if (isSafeFolderName(loginName))
        return loginName;
    return QStringLiteral("user-")
           + QString::fromLatin1(
               QCryptographicHash::hash(loginName.toUtf8(), QCryptographicHash::Md5).toHex());
}
