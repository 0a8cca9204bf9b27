#pragma once

class AppState;
class AesCipher;
class APIHandler;
class FileStream;
class LearningProgress;
class MainWindow;

// The process-wide objects, registered by start-up in this order and valid until
// the entry function returns. Tests register their own instances.
AppState *appState();
AesCipher *localCipher();
APIHandler *apiHandler();
FileStream *fileStream();
MainWindow *mainWidget();
LearningProgress *learningProgress();

void registerAppState(AppState *state);
void registerLocalCipher(AesCipher *cipher);
// Also hands the client's sign-in steps on the user's store to whichever download queue is
// registered when they happen.
void registerApiHandler(APIHandler *handler);
void registerFileStream(FileStream *stream);
void registerMainWidget(MainWindow *widget);
void registerLearningProgress(LearningProgress *progress);
