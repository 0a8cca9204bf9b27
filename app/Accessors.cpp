#include "app/Accessors.h"

namespace {
AppState *g_appState = nullptr;
AesCipher *g_localCipher = nullptr;
APIHandler *g_apiHandler = nullptr;
FileStream *g_fileStream = nullptr;
MainWindow *g_mainWidget = nullptr;
} // namespace

AppState *appState() { return g_appState; }
AesCipher *localCipher() { return g_localCipher; }
APIHandler *apiHandler() { return g_apiHandler; }
FileStream *fileStream() { return g_fileStream; }
MainWindow *mainWidget() { return g_mainWidget; }

void registerAppState(AppState *state) { g_appState = state; }
void registerLocalCipher(AesCipher *cipher) { g_localCipher = cipher; }
void registerApiHandler(APIHandler *handler) { g_apiHandler = handler; }
void registerFileStream(FileStream *stream) { g_fileStream = stream; }
void registerMainWidget(MainWindow *widget) { g_mainWidget = widget; }
