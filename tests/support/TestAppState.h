#pragma once

#include "app/AppState.h"
#include "download/AesCipher.h"

#include <QString>
#include <QTemporaryDir>

// A complete process-wide state in a private temporary folder: data, user and download
// folders, the settings file and the keyed store cipher, registered with the accessors.
class TestAppState
{
public:
    TestAppState();
    ~TestAppState();

    QString root() const { return m_dir.path(); }
    AppState &state() { return m_state; }
    AesCipher &cipher() { return m_cipher; }

private:
    QTemporaryDir m_dir;
    AppState m_state;
    AesCipher m_cipher;
};
