#include "api/APIHandler.h"
#include "api/ServiceSettings.h"
#include "app/Accessors.h"
#include "app/Log.h"
#include "download/FileStream.h"
#include "platform/LocalCodec.h"
#include "support/DemoClient.h"
#include "support/DemoService.h"
#include "support/TestAppState.h"

#include <QDirIterator>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

// The typed password must not reach any file the client writes: the settings, the
// enciphered index (looked at deciphered) or the log.
class TestSecrets : public QObject
{
    Q_OBJECT

private:
    static QList<QByteArray> encodings(const QString &secret)
    {
        QByteArray utf16be;
        for (QChar c : secret)
            utf16be.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xff));
        QByteArray utf16le;
        for (QChar c : secret)
            utf16le.append(char(c.unicode() & 0xff)).append(char(c.unicode() >> 8));
        return {secret.toUtf8(), LocalCodec::encode(secret), utf16be, utf16le};
    }

private slots:
    void passwordIsInNoFile()
    {
        DemoService service;
        QVERIFY2(service.start(), qPrintable(service.errorString()));
        TestAppState env;
        FileStream stream;
        registerFileStream(&stream);
        DemoClient client(service);
        QVERIFY2(client.signIn(), qPrintable(client.errorString()));
        AppState &state = env.state();
        writeLog(QStringLiteral("signed in as ") + state.user.loginName);
        // The avatar comes after the sign-in reply; on a busy machine it can take a while.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(state.avatarPath), 10000);

        // A password change keeps the new one in memory; neither may reach a file.
        const QString newPassword = QStringLiteral("Secret密码2026");
        QSignalSpy spy(&client.api(), &APIHandler::HttpResponseSignal);
        client.api().changePassword(newPassword);
        QTRY_VERIFY_WITH_TIMEOUT(!spy.isEmpty(), 10000);
        stream.saveIndex();
        client.api().signOut();
        state.settings->sync();

        const QList<QByteArray> needles =
            encodings(QString::fromLatin1(DemoClient::demoPassword)) + encodings(newPassword);
        int filesRead = 0;
        QDirIterator it(env.root(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QByteArray content = file.readAll();
            if (path.endsWith(QStringLiteral("kecheng.zgc")))
                content = env.cipher().decryptFileToBytes(path);
            ++filesRead;
            for (const QByteArray &needle : needles)
                QVERIFY2(!content.contains(needle), qPrintable(path));
        }
        // The settings, the log, the index and the avatar at least.
        QVERIFY(filesRead >= 4);
        registerFileStream(nullptr);
    }
};

QTEST_GUILESS_MAIN(TestSecrets)
#include "tst_secrets.moc"
