#pragma once

class AppState;
class AesCipher;
class APIHandler;
class FileStream;
class LearningProgress;
class MainWidget;

// The process-wide objects, registered by start-up in this order and valid until
// the entry function returns. Tests register their own instances.
AppState *appState();
AesCipher *localCipher();
APIHandler *apiHandler();
FileStream *fileStream();
MainWidget *mainWidget();
LearningProgress *learningProgress();

void registerAppState(AppState *state);
void registerLocalCipher(AesCipher *cipher);
void registerApiHandler(APIHandler *handler);
void registerFileStream(FileStream *stream);
void registerMainWidget(MainWidget *widget);
void registerLearningProgress(LearningProgress *progress);
