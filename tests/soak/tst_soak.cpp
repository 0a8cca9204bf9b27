#include "app/Accessors.h"
#include "download/FileStream.h"
#include "model/Course.h"
#include "support/DemoClient.h"
#include "support/DemoLessons.h"
#include "support/DemoService.h"
#include "support/LessonCheck.h"
#include "support/TestAppState.h"

#include <QSignalSpy>
#include <QTest>

// Three lessons through the download queue while the demo service resets 10 % of media
// requests, answers 500 to 5 %, stalls a few and adds latency. Every lesson must end
// downloaded, byte-identical to what is served. Run alone with: ctest -L soak
class TestSoak : public QObject
{
    Q_OBJECT

private slots:
    void flakyNetworkStillDownloadsEverything()
    {
        DemoService service;
        QVERIFY2(service.start(), qPrintable(service.errorString()));
        TestAppState env;
        FileStream queue;
        registerFileStream(&queue);
        DemoClient client(service);
        QVERIFY2(client.signIn(), qPrintable(client.errorString()));
        queue.attachApiHandler(&client.api());

        QVERIFY(service.setFaults({{"chaos-seed", "2026"},
                                   {"chaos-reset", "10"},
                                   {"chaos-500", "5"},
                                   {"chaos-stall", "3"},
                                   {"stall-max-ms", "30000"},
                                   {"media-latency", "40"}}));
        // Two certain stalls besides the random ones: the loader's time limit must end them.
        QVERIFY(service.setFaults({{"stall", "segment"}, {"stall-count", "2"}}));

        const QList<QPair<QString, QString>> lessons = {
            {QStringLiteral("101"), QStringLiteral("1014")},
            {QStringLiteral("101"), QStringLiteral("1013")},
            {QStringLiteral("102"), QStringLiteral("1021")}};
        const QList<Course> courses = {
            DemoLessons::queuedCourse(QStringLiteral("101"),
                                      {QStringLiteral("1014"), QStringLiteral("1013")}),
            DemoLessons::queuedCourse(QStringLiteral("102"), {QStringLiteral("1021")})};

        QSignalSpy errors(&queue, &FileStream::DownloadErrorSignal);
        QSignalSpy done(&queue, &FileStream::DownloadedSignal);
        queue.setPaused(false);
        for (const Course &course : courses)
            queue.appendMission(course);

        // A loader error stops the queue until it is resumed, as a user would with the button.
        const auto allDone = [&] {
            int downloaded = 0;
            for (const auto &lesson : lessons) {
                const Courseware *cw = queue.findDownloadLesson(lesson.first, lesson.second);
                downloaded += cw && cw->downloadState == Courseware::Downloaded;
            }
            if (!queue.isBusy() && errors.size() > 0) {
                errors.clear();
                queue.startNext();
            }
            return downloaded == lessons.size();
        };
        QVERIFY(QTest::qWaitFor(allDone, 240000));

        QVERIFY(service.clearFaults());
        for (const auto &lesson : lessons) {
            const QString why =
                compareWithServed(client, *queue.findDownloadLesson(lesson.first, lesson.second),
                                  env.state().downloadDir + QLatin1Char('/') + lesson.first
                                      + QLatin1Char('/') + lesson.second);
            QVERIFY2(why.isEmpty(), qPrintable(lesson.second + QStringLiteral(": ") + why));
        }
        // The faults really happened.
        QMap<QString, int> faults;
        for (const QJsonObject &entry : service.requestLog()) {
            const QString fault = entry.value(QLatin1String("fault")).toString();
            if (!fault.isEmpty())
                ++faults[fault];
        }
        for (auto it = faults.cbegin(); it != faults.cend(); ++it)
            qInfo("fault %s: %d", qPrintable(it.key()), it.value());
        QVERIFY(faults.size() >= 2);
        int stalls = 0;
        for (auto it = faults.cbegin(); it != faults.cend(); ++it)
            stalls += it.key().contains(QLatin1String("stall")) ? it.value() : 0;
        QVERIFY(stalls >= 2);
        registerFileStream(nullptr);
    }
};

QTEST_GUILESS_MAIN(TestSoak)
#include "tst_soak.moc"
