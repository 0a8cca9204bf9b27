#pragma once

class AppState;
class AesCipher;
class APIHandler;
class FileStream;
class MainWidget;

// The process-wide objects, registered by start-up in this order and valid until
// the entry function returns. Tests register their own instances.
AppState *appState();
AesCipher *localCipher();
APIHandler *apiHandler();
FileStream *fileStream();
MainWidget *mainWidget();

void registerAppState(AppState *state);
void registerLocalCipher(AesCipher *cipher);
void registerApiHandler(APIHandler *handler);
void registerFileStream(FileStream *stream);
void registerMainWidget(MainWidget *widget);
