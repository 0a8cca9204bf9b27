#include "support/TestAppState.h"

#include "app/Accessors.h"
#include "app/AppFolders.h"
#include "model/MetaTypes.h"

#include <QDir>

TestAppState::TestAppState()
    : m_root(m_dir.path())
{
    setUp();
}

TestAppState::TestAppState(const QString &root)
    : m_root(root.isEmpty() ? m_dir.path() : root)
{
    if (!root.isEmpty())
        m_dir.remove();
    setUp();
}

void TestAppState::setUp()
{
    registerMetaTypes();
    // The same layout the client makes for HOME=root: root/Documents/<data folder>.
    const QString documents = m_root + QStringLiteral("/Documents/");
    const QString home = m_root + QStringLiteral("/home/");
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
