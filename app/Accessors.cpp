#include "app/Accessors.h"

#include "api/APIHandler.h"
#include "download/FileStream.h"

#include <QList>
#include <QPointer>

namespace {
AppState *g_appState = nullptr;
AesCipher *g_localCipher = nullptr;
APIHandler *g_apiHandler = nullptr;
FileStream *g_fileStream = nullptr;
MainWindow *g_mainWidget = nullptr;
LearningProgress *g_learningProgress = nullptr;
// Clients whose store steps already reach the registered queue.
QList<QPointer<APIHandler>> g_hookedHandlers;

void connectStoreSteps(APIHandler *handler)
{
    g_hookedHandlers.removeAll(QPointer<APIHandler>());
    if (!handler || g_hookedHandlers.contains(handler))
        return;
    g_hookedHandlers.append(handler);
    QObject::connect(handler, &APIHandler::OpenUserStoreSignal, handler, [] {
        if (FileStream *stream = g_fileStream)
            stream->openUserStore();
    });
    QObject::connect(handler, &APIHandler::CloseUserStoreSignal, handler, [] {
        if (FileStream *stream = g_fileStream)
            stream->closeUserStore();
    });
    QObject::connect(handler, &APIHandler::SaveUserStoreSignal, handler, [] {
        if (FileStream *stream = g_fileStream)
            stream->saveIndex();
    });
}
} // namespace

AppState *appState() { return g_appState; }
AesCipher *localCipher() { return g_localCipher; }
APIHandler *apiHandler() { return g_apiHandler; }
FileStream *fileStream() { return g_fileStream; }
MainWindow *mainWidget() { return g_mainWidget; }
LearningProgress *learningProgress() { return g_learningProgress; }

void registerAppState(AppState *state) { g_appState = state; }
void registerLocalCipher(AesCipher *cipher) { g_localCipher = cipher; }
void registerApiHandler(APIHandler *handler)
{
    g_apiHandler = handler;
    connectStoreSteps(handler);
}
void registerFileStream(FileStream *stream) { g_fileStream = stream; }
void registerMainWidget(MainWindow *widget) { g_mainWidget = widget; }
void registerLearningProgress(LearningProgress *progress) { g_learningProgress = progress; }
