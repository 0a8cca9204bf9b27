#include "model/Course.h"
#include "model/Courseware.h"
#include "model/HttpRequestContext.h"
#include "model/M3u8Context.h"
#include "model/MetaTypes.h"
#include "model/UserSession.h"

#include <QBuffer>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaType>
#include <QTest>

class TestRecords : public QObject
{
    Q_OBJECT

private:
    static QJsonObject json(const char *text)
    {
        return QJsonDocument::fromJson(QByteArray(text)).object();
    }

    static Courseware lesson(const QString &id, const QString &title, int state)
    {
        Courseware cw;
        cw.courseId = QStringLiteral("c1");
        cw.id = id;
        cw.number = QStringLiteral("1");
        cw.cType = QStringLiteral("2");
        cw.type = QStringLiteral("kejian");
        cw.title = title;
        cw.cTime = QStringLiteral("12:30");
        cw.stutas = QStringLiteral("0");
        cw.watchtimes = QStringLiteral("15");
        cw.level = Courseware::Lesson;
        cw.downloadState = state;
        cw.localPath = QStringLiteral("/d/c1/") + id;
        cw.legacyPath = QStringLiteral("/must/not/be/stored");
        return cw;
    }

private slots:
    void coursewareNumberText_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("integer") << QByteArray("12") << "12";
        QTest::newRow("whole double") << QByteArray("2.0") << "2";
        QTest::newRow("fraction") << QByteArray("0.5") << "0.5";
        QTest::newRow("zero") << QByteArray("0") << "0";
        QTest::newRow("one million") << QByteArray("1000000") << "1e+06";
        QTest::newRow("tiny") << QByteArray("0.00001") << "1e-05";
        QTest::newRow("string") << QByteArray("\"12\"") << "0";
        QTest::newRow("null") << QByteArray("null") << "0";
    }

    void coursewareNumberText()
    {
        QFETCH(QByteArray, value);
        QFETCH(QString, expected);
        const QJsonObject object =
            json("{\"number\":" + value + ",\"c_type\":" + value + ",\"stutas\":" + value + "}");
        const Courseware cw = Courseware::fromJson(QStringLiteral("7"), object);
        QCOMPARE(cw.number, expected);
        QCOMPARE(cw.cType, expected);
        QCOMPARE(cw.stutas, expected);
    }

    void coursewareFromJson()
    {
        const Courseware cw = Courseware::fromJson(
            QStringLiteral("c9"),
            json("{\"id\":\"101\",\"type\":\"kejian\",\"title\":\"心电图\",\"c_time\":\"45:00\", "
                 "\"watchtimes\":\"30\",\"number\":3,\"c_type\":1,\"stutas\":2}"));
        QCOMPARE(cw.courseId, QStringLiteral("c9"));
        QCOMPARE(cw.id, QStringLiteral("101"));
        QCOMPARE(cw.title, QStringLiteral("心电图"));
        QCOMPARE(cw.cTime, QStringLiteral("45:00"));
        QCOMPARE(cw.watchtimes, QStringLiteral("30"));
        QCOMPARE(cw.level, 3);
        QCOMPARE(cw.downloadState, 0);
        QVERIFY(cw.localPath.isEmpty() && cw.legacyPath.isEmpty() && cw.reserved.isEmpty());

        // Text fields take JSON strings only.
        const Courseware numeric =
            Courseware::fromJson(QString(), json("{\"id\":101,\"title\":5}"));
        QVERIFY(numeric.id.isEmpty());
        QVERIFY(numeric.title.isEmpty());
    }

    void levelFromExactWords_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("level");
        QTest::newRow("chapter") << "zhang" << 1;
        QTest::newRow("section") << "jie" << 2;
        QTest::newRow("lesson") << "kejian" << 3;
        QTest::newRow("capitalised") << "Zhang" << 0;
        QTest::newRow("upper") << "KEJIAN" << 0;
        QTest::newRow("other") << "video" << 0;
        QTest::newRow("empty") << "" << 0;
    }

    void levelFromExactWords()
    {
        QFETCH(QString, type);
        QFETCH(int, level);
        QJsonObject object;
        object.insert(QStringLiteral("type"), type);
        QCOMPARE(Courseware::fromJson(QString(), object).level, level);
    }

    void courseFromJson()
    {
        const Course course = Course::fromJson(
            json("{\"id\":\"12\",\"title\":\"内科学\",\"img\":\"http://x/"
                 "1.png\",\"sum\":\"40\",\"use\":7.9, "
                 "\"endtime\":\"2027-01-01\",\"course_monthly\":-2.5,\"add_time\":\"2026-01-01\", "
                 "\"is_expired\":\"1\",\"is_end\":1,\"end_info\":\"课程已过期\"}"));
        QCOMPARE(course.id, QStringLiteral("12"));
        QCOMPARE(course.title, QStringLiteral("内科学"));
        QCOMPARE(course.img, QStringLiteral("http://x/1.png"));
        QCOMPARE(course.sum, QStringLiteral("40"));
        QCOMPARE(course.use, 7);            // truncated toward zero
        QCOMPARE(course.courseMonthly, -2); // truncated toward zero
        QCOMPARE(course.endtime, QStringLiteral("2027-01-01"));
        QCOMPARE(course.addTime, QStringLiteral("2026-01-01"));
        QCOMPARE(course.isExpired, QStringLiteral("1"));
        QCOMPARE(course.isEnd, 1);
        QCOMPARE(course.endInfo, QStringLiteral("课程已过期"));
        QVERIFY(course.coursewares.isEmpty());

        const Course numericId =
            Course::fromJson(json("{\"id\":12,\"use\":\"3\",\"is_end\":1e20}"));
        QVERIFY(numericId.id.isEmpty());
        QCOMPARE(numericId.use, 0);
        QCOMPARE(numericId.isEnd, std::numeric_limits<qint32>::max());
        QCOMPARE(Course().isExpired, QStringLiteral("0"));
    }

    void findCoursewareReturnsFirstWritableMatch()
    {
        Course course;
        course.coursewares << lesson(QStringLiteral("a"), QStringLiteral("first"), 0)
                           << lesson(QStringLiteral("b"), QStringLiteral("other"), 0)
                           << lesson(QStringLiteral("a"), QStringLiteral("second"), 0);
        Courseware *found = course.findCourseware(QStringLiteral("a"));
        QVERIFY(found);
        QCOMPARE(found->title, QStringLiteral("first"));
        found->downloadState = 2;
        QCOMPARE(course.coursewares.at(0).downloadState, 2);
        QVERIFY(!course.findCourseware(QStringLiteral("zz")));
    }

    void userSessionStreamIsByteExact()
    {
        UserSession user;
        user.uid = QStringLiteral("u1");
        user.nickname = QStringLiteral("演示学员");
        user.loginName = QStringLiteral("13800138000");
        user.email = QStringLiteral("a@b.c");
        user.isImg = QStringLiteral("http://h/a.jpg");
        user.sid = QStringLiteral("sid9");
        user.loginTime = QDateTime(QDate(2026, 12, 1), QTime(8, 30));
        user.version = QStringLiteral("3.4.3.0");
        user.password = QStringLiteral("secret-never-stored");
        Course course;
        course.id = QStringLiteral("c1");
        course.title = QStringLiteral("内科");
        course.img = QStringLiteral("img");
        course.localPath = QStringLiteral("/d/c1");
        course.sum = QStringLiteral("not stored");
        course.coursewares << lesson(QStringLiteral("l1"), QStringLiteral("一"), 2)
                           << lesson(QStringLiteral("l2"), QStringLiteral("二"), 1);
        user.downloads << course;

        QByteArray actual;
        {
            QDataStream out(&actual, QIODevice::WriteOnly);
            out << user;
        }

        QByteArray expected;
        {
            QDataStream out(&expected, QIODevice::WriteOnly);
            out << user.uid << user.nickname << user.loginName << user.email << user.isImg
                << user.sid << user.loginTime;
            out << quint32(1);
            out << course.id << course.title << course.img;
            out << quint32(2);
            for (const Courseware &cw : course.coursewares) {
                out << cw.id << cw.number << cw.cType << cw.type << cw.title << cw.cTime
                    << qint32(cw.level) << qint32(cw.downloadState) << cw.reserved << cw.localPath
                    << cw.courseId << cw.stutas << cw.watchtimes;
            }
            out << course.localPath;
            out << user.version;
        }
        QCOMPARE(actual.toHex(), expected.toHex());
        QVERIFY(!actual.contains(QStringLiteral("secret").toUtf8()));

        UserSession back;
        QDataStream in(&actual, QIODevice::ReadOnly);
        in >> back;
        QCOMPARE(in.status(), QDataStream::Ok);
        QCOMPARE(back.nickname, user.nickname);
        QCOMPARE(back.loginTime, user.loginTime);
        QCOMPARE(back.version, user.version);
        QVERIFY(back.password.isEmpty());
        QCOMPARE(back.downloads.size(), 1);
        const Course &readCourse = back.downloads.first();
        QCOMPARE(readCourse.coursewares.size(), 2);
        QCOMPARE(readCourse.coursewares.at(0).downloadState, 2);
        QCOMPARE(readCourse.coursewares.at(1).title, QStringLiteral("二"));
        QVERIFY(readCourse.coursewares.at(0).legacyPath.isEmpty());
        // Fields that are not stored come back at their defaults.
        QCOMPARE(readCourse.isExpired, QStringLiteral("0"));
        QVERIFY(readCourse.sum.isEmpty() && readCourse.endInfo.isEmpty()
                && readCourse.legacyPath.isEmpty() && readCourse.endtime.isEmpty());
    }

    void cutStreamKeepsWhatWasRead()
    {
        QList<Courseware> list;
        for (int i = 0; i < 5; ++i)
            list << lesson(QString::number(i), QStringLiteral("课") + QString::number(i), 1);
        QByteArray bytes;
        {
            QDataStream out(&bytes, QIODevice::WriteOnly);
            out << list;
        }
        QByteArray oneElement;
        {
            QDataStream out(&oneElement, QIODevice::WriteOnly);
            out << list.first();
        }
        // Cut right after the third element, then in the middle of the fourth.
        const int headerSize = 4;
        const QByteArray cutAtBoundary = bytes.left(headerSize + 3 * oneElement.size());
        const QByteArray cutInside = bytes.left(headerSize + 3 * oneElement.size() + 10);

        QList<Courseware> read;
        QDataStream atBoundary(cutAtBoundary);
        atBoundary >> read;
        QCOMPARE(read.size(), 3);
        QCOMPARE(read.last().title, QStringLiteral("课2"));

        QDataStream inside(cutInside);
        inside >> read;
        QCOMPARE(read.size(), 4); // the partly read element is kept too
        QCOMPARE(read.at(2).title, QStringLiteral("课2"));

        // A garbage count on a short stream neither hangs nor allocates for it.
        QByteArray bogus;
        {
            QDataStream out(&bogus, QIODevice::WriteOnly);
            out << quint32(0xFFFFFFF0u);
        }
        QList<Course> courses;
        QDataStream bogusIn(bogus);
        bogusIn >> courses;
        QCOMPARE(courses.size(), 1);
    }

    void damagedIndexReadsAndWritesBack()
    {
        // Inputs the fuzzer found: a damaged index must read without harm and write back.
        const QString dir = qEnvironmentVariable("LUMRA_SOURCE_DIR") + "/fuzz/corpus/fuzz_index";
        const QStringList names = QDir(dir).entryList(QStringList() << "regression-*", QDir::Files);
        QVERIFY(!names.isEmpty());
        for (const QString &name : names) {
            QFile file(dir + QLatin1Char('/') + name);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            UserSession user;
            QDataStream in(bytes);
            in >> user;
            QByteArray out;
            QDataStream writer(&out, QIODevice::WriteOnly);
            writer << user;
            QVERIFY(!out.isEmpty());
        }
    }

    void metaTypeNames()
    {
        registerMetaTypes();
        registerMetaTypes(); // twice is harmless
        for (const char *name : {"Course", "Course*", "Courseware", "Courseware*",
                                 "HttpRequestContext", "M3u8Context"})
            QVERIFY2(QMetaType::type(name) != QMetaType::UnknownType, name);
        QCOMPARE(QMetaType::type("Courseware*"), qMetaTypeId<Courseware *>());

        M3u8Context context;
        context.courseId = QStringLiteral("12");
        context.lessonId = QStringLiteral("x");
        const QVariant carried = QVariant::fromValue(context);
        QCOMPARE(carried.value<M3u8Context>().lessonId, QStringLiteral("x"));
        QCOMPARE(carried.value<M3u8Context>().courseId, QStringLiteral("12"));
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
