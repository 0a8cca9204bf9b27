#include "support/TestAppState.h"

#include "app/Accessors.h"
#include "app/AppFolders.h"
#include "model/MetaTypes.h"

#include <QDir>

TestAppState::TestAppState()
{
    registerMetaTypes();
    const QString documents = m_dir.path() + QStringLiteral("/Documents/");
    const QString home = m_dir.path() + QStringLiteral("/home/");
    QDir().mkpath(home);
    AppFolders::setUp(m_state, documents, QStringList() << home);
    m_cipher.setKey(AesCipher::storeKey());
    registerAppState(&m_state);
    registerLocalCipher(&m_cipher);
}

TestAppState::~TestAppState()
{
    registerAppState(nullptr);
    registerLocalCipher(nullptr);
}
