#include "api/APIHandler.h"
#include "api/LearningProgress.h"
#include "api/ServiceSettings.h"
#include "api/UploadHandler.h"
#include "app/Accessors.h"
#include "app/AppFolders.h"
#include "app/AppInfo.h"
#include "app/AppState.h"
#include "app/InstallerCleanup.h"
#include "app/SettingKeys.h"
#include "app/Settings.h"
#include "app/Theme.h"
#include "download/AesCipher.h"
#include "download/FileStream.h"
#include "model/MetaTypes.h"
#include "platform/CrashHandler.h"
#include "platform/InstanceGuard.h"
#include "platform/PlatformPaths.h"
#include "player/MpvLibrary.h"
#include "ui/FolderDialog.h"
#include "ui/MainWidget.h"
#include "widgets/ResourceInit.h"

#ifdef LUMRA_TEST_BUILD
#include "ui/TestDriver.h"
#endif

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QTimer>

#include <clocale>
#include <memory>

namespace {

QString crashReportPath()
{
    return PlatformPaths::documentsDir() + QStringLiteral("lumraplayer_crash_")
           + AppInfo::programVersion() + QStringLiteral(".dmp");
}

void installCrashHandler()
{
    const QString message =
        QStringLiteral("抱歉，") + AppInfo::displayName()
        + QStringLiteral(
            "崩溃啦<br>请不要担心，我们已经记录崩溃的原因，并将在下次启动时上传这些信息");
    CrashHandler::install(crashReportPath(),
                          QApplication::applicationDirPath()
                              + QStringLiteral("/lumra-crash-message"),
                          QStringList() << QStringLiteral("错误") << message);
}

} // namespace

int main(int argc, char *argv[])
{
    // Icons pick their @2x images on high-density screens.
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication app(argc, argv);
    // The player library refuses to start under a locale with a decimal comma.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(AppInfo::displayName());
    QApplication::setQuitOnLastWindowClosed(false);

    InstanceGuard guard(AppInfo::guardName());
    if (guard.tryAcquire()) {
        // At once, so a second start in the next moments already finds this copy.
        guard.listen();
    } else if (guard.notifyRunningCopy()) {
        return 0;
    } else {
        // The lock is held but no copy answers: better a second window than none at all.
        qWarning("lumra: another copy holds the lock but does not answer; starting anyway");
    }
    installCrashHandler();

    initResources();
    registerMetaTypes();
    const QString styleSheet = Theme::loadStyleSheet();
    if (!styleSheet.isEmpty())
        app.setStyleSheet(styleSheet);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/pexil/pexil/lumra.ico")));
    FolderDialog::installChineseTexts();

    AppState state;
    registerAppState(&state);
    state.lines << ServiceSettings::coursewareHost();
    AppFolders::setUp(state, PlatformPaths::documentsDir(),
                      PlatformPaths::downloadRootCandidates());

    AesCipher cipher;
    cipher.setKey(AesCipher::storeKey());
    registerLocalCipher(&cipher);

    APIHandler api;
    registerApiHandler(&api);

    FileStream stream;
    registerFileStream(&stream);

    LearningProgress progress(&api);
    registerLearningProgress(&progress);

    MainWidget window;
    registerMainWidget(&window);
    QObject::connect(&stream, &FileStream::ShowAllDoneTipSignal, &window,
                     &MainWidget::showAllDoneTip);
    QObject::connect(&stream, &FileStream::ShowShutdownSignal, &window, &MainWidget::showShutdown);
    window.show();
    QObject::connect(&guard, &InstanceGuard::activateRequested, &window,
                     &MainWidget::activateFromOtherInstance);

    stream.loadIndex();
    if (state.user.sid.isEmpty())
        api.getSessionId();

    UploadHandler uploader;
    const QString crashReport = crashReportPath();
    if (QFileInfo::exists(crashReport))
        uploader.upload(ServiceSettings::errorLogUrl(), crashReport);

    state.installerPath = InstallerCleanup::run(state.dataDir, AppInfo::programVersion());
    if (!state.installerPath.isEmpty())
        window.showUpdateBanner();
    else
        api.getPcUpdate();

    // Unfinished downloads go on by themselves only when the settings say so.
    stream.setPaused(!Settings::isOn(state.settings.get(), SettingKeys::AutoDownload));

#ifdef LUMRA_TEST_BUILD
    // End-to-end tests drive the window through a local socket; inert otherwise.
    TestDriver driver;
    driver.startFromEnvironment();
#endif

    // Once the first page has had its time, so the first lesson opens as quickly as later ones.
    MpvLibrary::preloadLater(1500);

#ifdef LUMRA_TEST_BUILD
    if (qEnvironmentVariableIsSet("LUMRA_TEST_CRASH"))
        QTimer::singleShot(0, [] { CrashHandler::crashForTest(); });
#endif

    const int code = app.exec();
    registerMainWidget(nullptr);
    registerLearningProgress(nullptr);
    return code;
}
