#include "app/Accessors.h"

namespace {
AppState *g_appState = nullptr;
AesCipher *g_localCipher = nullptr;
APIHandler *g_apiHandler = nullptr;
FileStream *g_fileStream = nullptr;
MainWidget *g_mainWidget = nullptr;
LearningProgress *g_learningProgress = nullptr;
} // namespace

AppState *appState() { return g_appState; }
AesCipher *localCipher() { return g_localCipher; }
APIHandler *apiHandler() { return g_apiHandler; }
FileStream *fileStream() { return g_fileStream; }
MainWidget *mainWidget() { return g_mainWidget; }
LearningProgress *learningProgress() { return g_learningProgress; }

void registerAppState(AppState *state) { g_appState = state; }
void registerLocalCipher(AesCipher *cipher) { g_localCipher = cipher; }
void registerApiHandler(APIHandler *handler) { g_apiHandler = handler; }
void registerFileStream(FileStream *stream) { g_fileStream = stream; }
void registerMainWidget(MainWidget *widget) { g_mainWidget = widget; }
void registerLearningProgress(LearningProgress *progress) { g_learningProgress = progress; }
