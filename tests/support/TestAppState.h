#pragma once

#include "app/AppState.h"
#include "download/AesCipher.h"

#include <QString>
#include <QTemporaryDir>

// A complete process-wide state in a private temporary folder (or a given one, shared
// with another process): data, user and download folders, the settings file and the
// keyed store cipher, registered with the accessors.
class TestAppState
{
public:
    TestAppState();
    // An empty root means a private temporary folder, as the default constructor.
    explicit TestAppState(const QString &root);
    ~TestAppState();

    QString root() const { return m_root; }
    AppState &state() { return m_state; }
    AesCipher &cipher() { return m_cipher; }

private:
    void setUp();

    QTemporaryDir m_dir;
    QString m_root;
    AppState m_state;
    AesCipher m_cipher;
};
