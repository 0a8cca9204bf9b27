// The demo service's --static mode, which the download benchmark serves every tool from.
#include "support/DemoService.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Answer
{
    int status = 0;
    QByteArray head;
    QByteArray body;
};

// One request with the path sent exactly as given (a client library would clean "..").
Answer rawGet(quint16 port, const QByteArray &path)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(5000))
        return {};
    socket.write("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    QByteArray all;
    while (socket.waitForReadyRead(10000))
        all += socket.readAll();
    all += socket.readAll();
    Answer answer;
    const int split = all.indexOf("\r\n\r\n");
    answer.head = all.left(split);
    answer.body = split < 0 ? QByteArray() : all.mid(split + 4);
    answer.status = answer.head.split(' ').value(1).toInt();
    return answer;
}

} // namespace

class TestStaticFiles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void servesFilesAsOnDisk();
    void refusesPathsOutsideTheFolder();
    void latencyDelaysStaticAnswers();

private:
    QTemporaryDir m_root;
    QByteArray m_big;
    std::unique_ptr<DemoService> m_service;
};

void TestStaticFiles::initTestCase()
{
    QVERIFY(m_root.isValid());
    QVERIFY(QDir().mkpath(m_root.filePath(QStringLiteral("files/lesson"))));
    // Larger than one streamed piece, with bytes that differ from piece to piece.
    m_big.resize(700 * 1024 + 17);
    for (int i = 0; i < m_big.size(); ++i)
        m_big[i] = char((i * 7919) >> 3);
    QFile big(m_root.filePath(QStringLiteral("files/lesson/seg00000.ts")));
    QVERIFY(big.open(QIODevice::WriteOnly) && big.write(m_big) == m_big.size());
    big.close();
    QFile playlist(m_root.filePath(QStringLiteral("files/lesson/index.m3u8")));
    QVERIFY(playlist.open(QIODevice::WriteOnly) && playlist.write("#EXTM3U\nseg00000.ts\n") > 0);
    playlist.close();
    QFile secret(m_root.filePath(QStringLiteral("secret.txt")));
    QVERIFY(secret.open(QIODevice::WriteOnly) && secret.write("outside") > 0);
    secret.close();

    m_service = std::make_unique<DemoService>(
        QStringList{QStringLiteral("--static"), m_root.filePath(QStringLiteral("files"))});
    QVERIFY2(m_service->start(), qPrintable(m_service->errorString()));
}

void TestStaticFiles::servesFilesAsOnDisk()
{
    const Answer segment = rawGet(m_service->port(), "/static/lesson/seg00000.ts");
    QCOMPARE(segment.status, 200);
    QCOMPARE(segment.body.size(), m_big.size());
    QVERIFY(segment.body == m_big);
    QVERIFY(segment.head.contains("application/octet-stream"));

    const Answer playlist = rawGet(m_service->port(), "/static/lesson/index.m3u8");
    QCOMPARE(playlist.status, 200);
    QCOMPARE(playlist.body, QByteArray("#EXTM3U\nseg00000.ts\n"));
    QVERIFY(playlist.head.contains("application/vnd.apple.mpegurl"));

    QCOMPARE(rawGet(m_service->port(), "/static/lesson/missing.ts").status, 404);
    QCOMPARE(rawGet(m_service->port(), "/static/lesson").status, 404); // a folder is no file

    // The request log counts the bytes actually sent.
    const QList<QJsonObject> log = m_service->requestLog(QStringLiteral("static"));
    QVERIFY(!log.isEmpty());
    QCOMPARE(log.first().value(QStringLiteral("bytes")).toInt(), m_big.size());
}

void TestStaticFiles::refusesPathsOutsideTheFolder()
{
    QCOMPARE(rawGet(m_service->port(), "/static/../secret.txt").status, 404);
    QCOMPARE(rawGet(m_service->port(), "/static/lesson/../../secret.txt").status, 404);
    QCOMPARE(rawGet(m_service->port(), "/static/%2e%2e/secret.txt").status, 404);
}

void TestStaticFiles::latencyDelaysStaticAnswers()
{
    QVERIFY(m_service->setFaults({{QStringLiteral("latency"), QStringLiteral("300")}}));
    QElapsedTimer timer;
    timer.start();
    const Answer answer = rawGet(m_service->port(), "/static/lesson/index.m3u8");
    QCOMPARE(answer.status, 200);
    QVERIFY2(timer.elapsed() >= 290, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(m_service->clearFaults());
}

QTEST_GUILESS_MAIN(TestStaticFiles)
#include "tst_staticfiles.moc"
