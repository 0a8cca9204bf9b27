// lumra-bench-courseviews: builds and shows the my-courses page with N courses and the
// course page with a tree of M lessons, offscreen, and prints time and resident memory.
//
//   lumra-bench-courseviews [--courses 300] [--lessons 3000]
//
// Covers: every course has its own cover address. Half of them are already in the user's
// folder; the other half point at a closed loopback port, so their fetches fail and are
// retried, which shows what missing covers cost (requests, network stacks).
#include "api/APIHandler.h"
#include "api/RequestType.h"
#include "app/Accessors.h"
#include "app/AppState.h"
#include "download/FileStream.h"
#include "model/Course.h"
#include "model/CourseModel.h"
#include "model/MetaTypes.h"
#include "model/ThumbnailImageFetcher.h"
#include "model/ThumbnailListWidget.h"
#include "ui/MyCourseInfoWidget.h"
#include "ui/MyCourseWidget.h"
#include "widgets/ResourceInit.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QNetworkAccessManager>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTreeView>

#include <cstdio>

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

// Resident set size in KiB, from /proc; 0 where that is not available.
long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

void report(const char *step, QElapsedTimer &clock, long baseKiB)
{
    out() << QStringLiteral("%1  %2 ms  rss +%3 MiB")
                 .arg(QString::fromLatin1(step), -44)
                 .arg(clock.elapsed(), 6)
                 .arg((residentKiB() - baseKiB) / 1024.0, 0, 'f', 1)
          << Qt::endl;
    clock.restart();
}

Course makeCourse(int index, const QString &img)
{
    Course course;
    course.id = QString::number(1000 + index);
    course.title = QStringLiteral("课程 %1 执业医师精讲班").arg(index);
    course.img = img;
    course.isExpired = index % 10 == 9 ? QStringLiteral("1") : QStringLiteral("0");
    return course;
}

// chapters × sections × lessons, flattened the way the service sends them.
Course makeTree(int lessons)
{
    Course course = makeCourse(0, QString());
    const int chapters = qMax(1, lessons / 100);
    int made = 0;
    for (int c = 0; c < chapters && made < lessons; ++c) {
        Courseware chapter;
        chapter.courseId = course.id;
        chapter.id = QStringLiteral("c%1").arg(c);
        chapter.level = Courseware::Chapter;
        chapter.title = QStringLiteral("第%1章").arg(c + 1);
        course.coursewares << chapter;
        for (int s = 0; s < 10 && made < lessons; ++s) {
            Courseware section = chapter;
            section.id = QStringLiteral("s%1-%2").arg(c).arg(s);
            section.level = Courseware::Section;
            section.title = QStringLiteral("第%1节").arg(s + 1);
            course.coursewares << section;
            for (int l = 0; l < 10 && made < lessons; ++l, ++made) {
                Courseware lesson = chapter;
                lesson.id = QString::number(made);
                lesson.level = Courseware::Lesson;
                lesson.title = QStringLiteral("第%1讲 病因与诊断要点").arg(made + 1);
                lesson.cTime = QStringLiteral("45:00");
                course.coursewares << lesson;
            }
        }
    }
    return course;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("courses"), QStringLiteral("courses on my-courses"),
                      QStringLiteral("N"), QStringLiteral("300")});
    parser.addOption({QStringLiteral("lessons"), QStringLiteral("lessons in the tree"),
                      QStringLiteral("M"), QStringLiteral("3000")});
    parser.process(app);
    const int courseCount = parser.value(QStringLiteral("courses")).toInt();
    const int lessonCount = parser.value(QStringLiteral("lessons")).toInt();

    initResources();
    registerMetaTypes();
    QTemporaryDir dir;
    AppState state;
    state.userDataDir = dir.path() + QStringLiteral("/user");
    state.downloadDir = dir.path() + QStringLiteral("/video");
    QDir().mkpath(state.userDataDir);
    state.signedIn = true;
    registerAppState(&state);
    APIHandler api;
    registerApiHandler(&api);
    FileStream queue;
    registerFileStream(&queue);

    // Covers: half on disk, half behind a closed port.
    QImage cover(440, 248, QImage::Format_RGB32);
    for (int i = 0; i < courseCount; ++i) {
        const QString name = QStringLiteral("cover-%1.png").arg(i);
        if (i % 2 == 0) {
            cover.fill(QColor::fromHsv(i * 7 % 360, 160, 200));
            cover.save(state.userDataDir + QLatin1Char('/') + name);
        }
        state.appendCourse(makeCourse(i, QStringLiteral("http://127.0.0.1:1/covers/") + name));
    }

    const long base = residentKiB();
    out() << QStringLiteral("courses %1, lessons %2, rss at start %3 MiB")
                 .arg(courseCount)
                 .arg(lessonCount)
                 .arg(base / 1024.0, 0, 'f', 1)
          << Qt::endl;
    QElapsedTimer clock;
    clock.start();

    MyCourseWidget courses;
    courses.resize(1210, 600);
    courses.show();
    QApplication::processEvents();
    report("my-courses page built and shown (empty)", clock, base);

    emit api.HttpResponseSignal(ReqMyCourseList, 1);
    report("course-list reply: tiles made", clock, base);

    courses.grab();
    report("first paint (visible tiles, covers scaled)", clock, base);

    ThumbnailListWidget *grid = courses.validList();
    QScrollBar *bar = grid->verticalScrollBar();
    for (int value = bar->minimum(); value <= bar->maximum(); value += qMax(1, bar->pageStep())) {
        bar->setValue(value);
        grid->grab();
    }
    report("scrolled through every tile", clock, base);

    // A second reply (retry, or signing in again) appends the same courses once more.
    for (int i = 0; i < courseCount; ++i)
        state.appendCourse(*state.courses.at(i));
    emit api.HttpResponseSignal(ReqMyCourseList, 1);
    courses.grab();
    report("second reply: tiles replaced and painted", clock, base);
    out() << QStringLiteral("tiles shown after the second reply: %1 valid + %2 expired")
                 .arg(courses.validList()->count())
                 .arg(courses.expiredList()->count())
          << Qt::endl;

    ThumbnailImageFetcher *fetcher = ThumbnailImageFetcher::instance();
    const int managers = app.findChildren<QNetworkAccessManager *>().size()
                         + courses.findChildren<QNetworkAccessManager *>().size();
    out() << QStringLiteral("cover requests sent %1 for %2 missing covers; network access managers "
                            "under the app and the page: %3")
                 .arg(fetcher->requestCount())
                 .arg(courseCount / 2)
                 .arg(managers)
          << Qt::endl;

    Course tree = makeTree(lessonCount);
    state.courses.append(&tree);
    clock.restart();
    MyCourseInfoWidget page;
    page.resize(1210, 600);
    page.show();
    page.setCourse(&tree);
    QApplication::processEvents();
    report("course page: tree model built and shown", clock, base);

    page.tree()->expandAll();
    page.grab();
    report("tree expanded and painted", clock, base);

    page.model()->setAllChecked(true);
    page.grab();
    report("select all and repaint", clock, base);

    page.setCourse(&tree);
    page.grab();
    report("tree rebuilt (same course opened again)", clock, base);

    state.courses.removeAll(&tree);
    out() << QStringLiteral("rss at end %1 MiB").arg(residentKiB() / 1024.0, 0, 'f', 1) << Qt::endl;
    registerFileStream(nullptr);
    registerApiHandler(nullptr);
    registerAppState(nullptr);
    return 0;
}
