#include "app/Accessors.h"
#include "app/AppFolders.h"
#include "app/AppState.h"
#include "app/AppInfo.h"
#include "app/InstallerCleanup.h"
#include "download/AesCipher.h"
#include "download/FileStream.h"
#include "model/MetaTypes.h"
#include "platform/PlatformPaths.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(AppInfo::displayName());
    registerMetaTypes();

    AppState state;
    registerAppState(&state);
    AppFolders::setUp(state, PlatformPaths::documentsDir(), PlatformPaths::downloadRootCandidates());

    AesCipher cipher;
    cipher.setKey(AesCipher::storeKey());
    registerLocalCipher(&cipher);

    FileStream stream;
    registerFileStream(&stream);
    stream.loadIndex();

    state.installerPath = InstallerCleanup::run(state.dataDir, AppInfo::programVersion());
    return 0;
}
