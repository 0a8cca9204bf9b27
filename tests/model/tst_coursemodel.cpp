// The lesson tree model: how the flat lesson list becomes a tree, what each column shows,
// and how check marks spread without touching queued or downloaded lessons.

#include "app/Accessors.h"
#include "download/FileStream.h"
#include "model/Course.h"
#include "model/CourseModel.h"
#include "model/CourseTreeItem.h"
#include "support/TestAppState.h"

#include <QColor>
#include <QFont>
#include <QSignalSpy>
#include <QSize>
#include <QtTest>

#include <memory>

namespace {

Courseware node(const QString &id, int level, const QString &title = QString())
{
    Courseware cw;
    cw.courseId = QStringLiteral("7");
    cw.id = id;
    cw.level = level;
    cw.title = title.isEmpty() ? QStringLiteral("节点") + id : title;
    cw.cTime = QStringLiteral("10:0") + id.right(1);
    return cw;
}

// Titles of the children of an index, in order.
QStringList childTitles(const QAbstractItemModel &model, const QModelIndex &parent = QModelIndex())
{
    QStringList titles;
    for (int row = 0; row < model.rowCount(parent); ++row)
        titles << model.index(row, 0, parent).data().toString();
    return titles;
}

} // namespace

class TestCourseModel : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestAppState> m_env;
    std::unique_ptr<FileStream> m_queue;

    // lesson L1, chapter C1 (section S1 (lessons L2, L3), lesson L4), chapter C2 (lesson L5)
    static Course sampleCourse()
    {
        Course course;
        course.id = QStringLiteral("7");
        course.coursewares << node(QStringLiteral("L1"), 3) << node(QStringLiteral("C1"), 1)
                           << node(QStringLiteral("S1"), 2) << node(QStringLiteral("L2"), 3)
                           << node(QStringLiteral("L3"), 3) << node(QStringLiteral("C2"), 1)
                           << node(QStringLiteral("L5"), 3) << node(QStringLiteral("X9"), 0);
        return course;
    }

private slots:
    void init()
    {
        m_env = std::make_unique<TestAppState>();
        m_queue = std::make_unique<FileStream>();
        registerFileStream(m_queue.get());
    }

    void cleanup()
    {
        registerFileStream(nullptr);
        m_queue.reset();
        m_env.reset();
    }

    void treeFollowsChaptersAndSections()
    {
        Course course = sampleCourse();
        CourseModel model(&course);
        // The lesson before any chapter sits under the root; unknown levels are skipped.
        QCOMPARE(childTitles(model), QStringList() << "节点L1"
                                                   << "节点C1"
                                                   << "节点C2");
        const QModelIndex c1 = model.index(1, 0);
        QCOMPARE(childTitles(model, c1), QStringList() << "节点S1");
        const QModelIndex s1 = model.index(0, 0, c1);
        QCOMPARE(childTitles(model, s1), QStringList() << "节点L2"
                                                       << "节点L3");
        QCOMPARE(childTitles(model, model.index(2, 0)), QStringList() << "节点L5");
        QCOMPARE(model.parent(model.index(1, 0, s1)), s1);
        QCOMPARE(model.parent(s1), c1);
        QVERIFY(!model.parent(c1).isValid());
        QCOMPARE(model.columnCount(), 4);
        QCOMPARE(model.rowCount(model.index(1, 1)), 0); // only column 0 has children
        QCOMPARE(CourseModel::itemAt(model.index(1, 0, s1))->courseware(), &course.coursewares[4]);
    }

    void sectionWithoutChapterAndLessonAfterSection()
    {
        Course course;
        course.coursewares << node(QStringLiteral("S1"), 2) << node(QStringLiteral("L1"), 3)
                           << node(QStringLiteral("C1"), 1) << node(QStringLiteral("L2"), 3);
        CourseModel model(&course);
        QCOMPARE(childTitles(model), QStringList() << "节点S1"
                                                   << "节点C1");
        QCOMPARE(childTitles(model, model.index(0, 0)), QStringList() << "节点L1");
        // A new chapter ends the section: the next lesson belongs to the chapter.
        QCOMPARE(childTitles(model, model.index(1, 0)), QStringList() << "节点L2");
    }

    void columnsAndRoles()
    {
        Course course = sampleCourse();
        course.coursewares[3].downloadState = Courseware::Downloaded;
        course.coursewares[4].downloadState = Courseware::Queued;
        CourseModel model(&course);
        const QModelIndex c1 = model.index(1, 0);
        const QModelIndex s1 = model.index(0, 0, c1);
        const QModelIndex l2 = model.index(0, 0, s1);
        const QModelIndex l3 = model.index(1, 0, s1);
        const QModelIndex l1 = model.index(0, 0);

        QCOMPARE(l2.siblingAtColumn(1).data().toString(), QStringLiteral("已下载"));
        QCOMPARE(l3.siblingAtColumn(1).data().toString(), QStringLiteral("正在下载"));
        QCOMPARE(l1.siblingAtColumn(1).data().toString(), QString());
        QCOMPARE(l1.siblingAtColumn(2).data().toString(), QStringLiteral("10:01"));
        // How far the student got: nothing yet, part way (of the length, or as a time when the
        // length cannot be read), watched to the end.
        QCOMPARE(l1.siblingAtColumn(3).data().toString(), QString());
        QCOMPARE(c1.siblingAtColumn(3).data().toString(), QString());
        Courseware *first = course.findCourseware(l1.data(CourseModel::IdRole).toString());
        QVERIFY(first);
        first->watchtimes = QStringLiteral("301");
        QCOMPARE(l1.siblingAtColumn(3).data().toString(), QStringLiteral("已学 50%"));
        first->cTime = QStringLiteral("约十分钟");
        QCOMPARE(l1.siblingAtColumn(3).data().toString(), QStringLiteral("学到 05:01"));
        first->stutas = QStringLiteral("1");
        QCOMPARE(l1.siblingAtColumn(3).data().toString(), QStringLiteral("已学完"));
        first->cTime = QStringLiteral("10:01");

        QCOMPARE(c1.data(Qt::ForegroundRole).value<QColor>(), QColor(13, 124, 195));
        QCOMPARE(s1.data(Qt::ForegroundRole).value<QColor>(), QColor(51, 51, 51));
        QCOMPARE(l1.data(Qt::ForegroundRole).value<QColor>(), QColor(51, 51, 51));
        QCOMPARE(c1.siblingAtColumn(1).data(Qt::SizeHintRole).toSize(), QSize(100, 45));
        QCOMPARE(l1.siblingAtColumn(2).data(Qt::SizeHintRole).toSize(), QSize(100, 35));
        QVERIFY(!l1.data(Qt::SizeHintRole).isValid());
        QCOMPARE(l1.siblingAtColumn(2).data(Qt::TextAlignmentRole).toInt(),
                 int(Qt::AlignRight | Qt::AlignVCenter));
        QCOMPARE(c1.data(Qt::FontRole).value<QFont>().pointSize(), 10);
        QCOMPARE(l1.data(Qt::FontRole).value<QFont>().pointSize(), 9);
        QCOMPARE(l1.data(Qt::FontRole).value<QFont>().family(), QStringLiteral("Microsoft Yahei"));

        QVERIFY(!l2.data(Qt::CheckStateRole).isValid());
        QVERIFY(!l3.data(Qt::CheckStateRole).isValid());
        QCOMPARE(l1.data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
        QVERIFY(!l1.siblingAtColumn(1).data(Qt::CheckStateRole).isValid());

        QVERIFY(model.flags(l1) & Qt::ItemIsUserCheckable);
        QVERIFY(!(model.flags(l1.siblingAtColumn(1)) & Qt::ItemIsUserCheckable));
        QCOMPARE(model.flags(QModelIndex()), Qt::NoItemFlags);
    }

    void checkingAChapterSkipsQueuedAndDownloaded()
    {
        Course course = sampleCourse();
        course.coursewares[3].downloadState = Courseware::Downloaded; // L2
        CourseModel model(&course);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        const QModelIndex c1 = model.index(1, 0);
        QVERIFY(model.setData(c1, Qt::Checked, Qt::CheckStateRole));
        const QModelIndex s1 = model.index(0, 0, c1);
        QCOMPARE(s1.data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
        QCOMPARE(model.index(1, 0, s1).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
        QVERIFY(!model.index(0, 0, s1).data(Qt::CheckStateRole).isValid());
        QVERIFY(!CourseModel::itemAt(model.index(0, 0, s1))->isChecked());
        // The other chapter and the lesson at the root are untouched.
        QCOMPARE(model.index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
        QCOMPARE(model.index(0, 0, model.index(2, 0)).data(Qt::CheckStateRole).toInt(),
                 int(Qt::Unchecked));
        QCOMPARE(changed.size(), 4); // C1, S1, L2, L3

        QVERIFY(!model.setData(c1, Qt::Checked, Qt::DisplayRole));
        QVERIFY(!model.setData(c1.siblingAtColumn(1), Qt::Checked, Qt::CheckStateRole));

        model.setAllChecked(true);
        QCOMPARE(model.index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
        QCOMPARE(model.index(0, 0, model.index(2, 0)).data(Qt::CheckStateRole).toInt(),
                 int(Qt::Checked));
        QVERIFY(!CourseModel::itemAt(model.index(0, 0, s1))->isChecked());
        model.setAllChecked(false);
        QCOMPARE(model.index(1, 0, s1).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    }

    void downloadListStateIsCopiedIn()
    {
        Course course = sampleCourse();
        Course stored = course;
        stored.coursewares[3].downloadState = Courseware::Downloaded; // L2
        stored.coursewares[6].downloadState = Courseware::Queued;     // L5
        m_env->state().user.downloads << stored;
        CourseModel model(&course);
        QCOMPARE(course.coursewares[3].downloadState, int(Courseware::Downloaded));
        QCOMPARE(course.coursewares[6].downloadState, int(Courseware::Queued));
        QCOMPARE(course.coursewares[0].downloadState, int(Courseware::NotDownloaded));
        QCOMPARE(model.index(0, 0, model.index(2, 0)).siblingAtColumn(1).data().toString(),
                 QStringLiteral("正在下载"));
    }

    void largeFlatCourseKeepsRowsRight()
    {
        Course course;
        course.coursewares << node(QStringLiteral("C"), 1);
        for (int i = 0; i < 500; ++i)
            course.coursewares << node(QString::number(i), 3);
        CourseModel model(&course);
        const QModelIndex chapter = model.index(0, 0);
        QCOMPARE(model.rowCount(chapter), 500);
        const QModelIndex last = model.index(499, 2, chapter);
        QCOMPARE(CourseModel::itemAt(last)->row(), 499);
        QCOMPARE(model.parent(last), chapter);
    }
};

QTEST_MAIN(TestCourseModel)
#include "tst_coursemodel.moc"
