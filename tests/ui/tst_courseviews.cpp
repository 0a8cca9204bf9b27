// My courses, the course page, the downloaded-lessons page and the download screen,
// driven through the main window against the demo service with a real download queue.

#include "ScreenTestKit.h"

#include "api/LearningJournal.h"
#include "api/RequestType.h"
#include "download/DownloadPathSettingWidget.h"
#include "download/DownloadWidget.h"
#include "download/FileStream.h"
#include "model/Course.h"
#include "model/CourseModel.h"
#include "model/CourseTreeItem.h"
#include "model/ThumbnailDelegate.h"
#include "model/ThumbnailItem.h"
#include "model/ThumbnailItemCourseware.h"
#include "model/ThumbnailListWidget.h"
#include "model/ThumbnailModel.h"
#include "platform/DiskSpace.h"
#include "ui/CoursewarePage.h"
#include "ui/LoginWidget.h"
#include "ui/MyCourseInfoWidget.h"
#include "ui/MyCourseWidget.h"
#include "ui/UserWidget.h"
#include "widgets/ImageButton.h"
#include "widgets/ImageLabel.h"
#include "widgets/LoadingWidget.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QCursor>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTreeView>
#include <QtTest>

using namespace ScreenTestKit;

class TestCourseViews : public QObject
{
    Q_OBJECT

private:
    DemoService m_service;
    std::unique_ptr<Environment> m_env;
    std::unique_ptr<FileStream> m_queue;
    std::unique_ptr<MessageAnswerer> m_answers;

    MainWidget *window() { return m_env->window(); }
    MyCourseWidget *myCourses() { return myCoursesPage(window()); }
    MyCourseInfoWidget *coursePage() { return courseInfoPage(window()); }
    DownloadWidget *downloads() { return downloadPage(window()); }
    CoursewarePage *lessonPage() { return WindowParts::lessonPage(window()); }
    AppState &state() { return m_env->state(); }

    bool signIn()
    {
        window()->resize(1210, 720);
        m_env->api()->getSessionId();
        if (!waitFor([this] { return !state().user.sid.isEmpty(); }))
            return false;
        LoginWidget *login = userPage(window())->loginForm();
        login->nameEdit()->setText(QStringLiteral("13800138000"));
        login->passwordEdit()->setText(QStringLiteral("lumra2026"));
        QTest::mouseClick(login->loginButton(), Qt::LeftButton);
        return waitFor([this] { return myCourses()->validList()->count() == 2; });
    }

    static int rowOf(ThumbnailListWidget *grid, const QString &title)
    {
        for (int row = 0; row < grid->count(); ++row) {
            if (grid->thumbnailModel()->itemAt(row)->title() == title)
                return row;
        }
        return -1;
    }

    static void clickTile(ThumbnailListWidget *grid, int row)
    {
        const QRect rect = grid->visualRect(grid->model()->index(row, 0));
        QVERIFY(rect.isValid());
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    }

    static QModelIndex findNode(QAbstractItemModel *model, const QString &title,
                                const QModelIndex &parent = QModelIndex())
    {
        for (int row = 0; row < model->rowCount(parent); ++row) {
            const QModelIndex index = model->index(row, 0, parent);
            if (index.data().toString() == title)
                return index;
            const QModelIndex inner = findNode(model, title, index);
            if (inner.isValid())
                return inner;
        }
        return QModelIndex();
    }

    // Opens a course from the my-courses page and waits for its tree.
    bool openCourse(const QString &title)
    {
        const int row = rowOf(myCourses()->validList(), title);
        if (row < 0)
            return false;
        clickTile(myCourses()->validList(), row);
        return waitFor([this, title] {
            return currentPage(window()) == 1 && coursePage()->titleLabel()->text() == title;
        });
    }

    // Checks the named lessons on the course page and presses "下载选中".
    bool downloadLessons(const QStringList &titles)
    {
        for (const QString &title : titles) {
            const QModelIndex index = findNode(coursePage()->model(), title);
            if (!index.isValid())
                return false;
            coursePage()->model()->setData(index, Qt::Checked, Qt::CheckStateRole);
        }
        QTest::mouseClick(coursePage()->downloadButton(), Qt::LeftButton);
        return true;
    }

    bool downloaded(const QString &courseId, const QString &lessonId)
    {
        return waitFor(
            [=] {
                const Courseware *lesson = m_queue->findDownloadLesson(courseId, lessonId);
                return lesson && lesson->downloadState == Courseware::Downloaded;
            },
            30000);
    }

    void grab(QWidget *widget, const QString &name)
    {
        // The download tip closes by itself; the picture is taken without it.
        QTRY_VERIFY_WITH_TIMEOUT(!messageBox(window())->isVisible(), 4000);
        QCoreApplication::processEvents();
        QVERIFY(saveScreenshot(widget, name));
    }

private slots:
    void initTestCase()
    {
        applyTheme();
        QString error;
        QVERIFY2(startDemo(m_service, &error), qPrintable(error));
    }

    void init()
    {
        m_env = std::make_unique<Environment>();
        m_queue = std::make_unique<FileStream>();
        registerFileStream(m_queue.get());
        m_env->buildWindow();
        m_answers = std::make_unique<MessageAnswerer>(window());
    }

    void cleanup()
    {
        ThumbnailItemCourseware::setOfflinePlayer({});
        m_service.clearFaults();
        m_answers.reset();
        m_env.reset();
        registerFileStream(nullptr);
        m_queue.reset();
    }

    void myCoursesSplitsValidAndExpired()
    {
        QVERIFY(signIn());
        QCOMPARE(currentPage(window()), 0);
        QCOMPARE(myCourses()->expiredList()->count(), 1);
        QVERIFY(myCourses()->showExpiredButton()->isVisible());
        QVERIFY(!myCourses()->expiredList()->isVisible());
        QVERIFY(!myCourses()->retryButton()->isVisible());
        QTest::mouseClick(myCourses()->showExpiredButton(), Qt::LeftButton);
        QVERIFY(myCourses()->expiredList()->isVisible());
        // Ended courses are marked as such; the others are not.
        QVERIFY(myCourses()
                    ->expiredList()
                    ->model()
                    ->index(0, 0)
                    .data(ThumbnailItem::ExpiredRole)
                    .toBool());
        QVERIFY(!myCourses()
                     ->validList()
                     ->model()
                     ->index(0, 0)
                     .data(ThumbnailItem::ExpiredRole)
                     .toBool());
        // One page that scrolls as a whole: neither grid scrolls on its own, each shows all
        // of its tiles.
        for (ThumbnailListWidget *grid : {myCourses()->validList(), myCourses()->expiredList()}) {
            QCOMPARE(grid->verticalScrollBar()->maximum(), 0);
            const QRect last = grid->visualRect(grid->model()->index(grid->count() - 1, 0));
            QVERIFY2(
                grid->viewport()->rect().contains(last),
                qPrintable(
                    QStringLiteral("%1 %2").arg(grid->viewport()->height()).arg(last.bottom())));
        }
        // The link folds the list away again.
        QCOMPARE(myCourses()->showExpiredButton()->text(), QStringLiteral("收起已过期课程"));
        QTest::mouseClick(myCourses()->showExpiredButton(), Qt::LeftButton);
        QVERIFY(!myCourses()->expiredList()->isVisible());
        QCOMPARE(myCourses()->showExpiredButton()->text(), QStringLiteral("显示已过期课程"));
        QTest::mouseClick(myCourses()->showExpiredButton(), Qt::LeftButton);
        QVERIFY(myCourses()->expiredList()->isVisible());

        // Covers arrive in the user's folder and reach the tiles.
        const QString cover = state().userDataDir + QStringLiteral("/cover-101.png");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(cover), 10000);
        QTRY_VERIFY(QFile::exists(state().userDataDir + QStringLiteral("/cover-103.jpg")));
        QVERIFY(!myCourses()
                     ->validList()
                     ->thumbnailModel()
                     ->index(0)
                     .data(ThumbnailItem::ImageRole)
                     .value<QPixmap>()
                     .isNull());
        QVERIFY(m_service.requestLog(QStringLiteral("cover")).size() <= 3);
        QCOMPARE(clippedTexts(myCourses()), QStringList());
        grab(window(), QStringLiteral("mycourses"));

        // The expired course shows its message instead of opening.
        const int expiredRow = 0;
        clickTile(myCourses()->expiredList(), expiredRow);
        QTRY_COMPARE(m_answers->messages(),
                     QStringList() << QStringLiteral(
                         "该课程已于2025-06-30到期，如需继续学习请联系客服续费。"));
        QCOMPARE(currentPage(window()), 0);
    }

    void failedListOffersRetryWithoutDuplicates()
    {
        QVERIFY(signIn());
        QVERIFY(m_service.setFaults({{QStringLiteral("html"), QStringLiteral("MyCourseList")}}));
        m_env->api()->getMyCourseList();
        QTRY_VERIFY(myCourses()->retryButton()->isVisible());
        QVERIFY(myCourses()->viewDownloadsButton()->isVisible());
        QCOMPARE(myCourses()->validList()->count(), 2); // the lists stay as they were
        QTRY_COMPARE(m_answers->messages().size(), 1);

        QVERIFY(m_service.clearFaults());
        QTest::mouseClick(myCourses()->retryButton(), Qt::LeftButton);
        QTRY_VERIFY(!myCourses()->retryButton()->isVisible());
        QVERIFY(!myCourses()->viewDownloadsButton()->isVisible());
        // The second reply appends its courses again; the page shows them once.
        QCOMPARE(state().courses.size(), 6);
        QCOMPARE(myCourses()->validList()->count(), 2);
        QCOMPARE(myCourses()->expiredList()->count(), 1);
    }

    void coursePageQueuesCheckedLessons()
    {
        QVERIFY(signIn());
        QVERIFY(openCourse(QStringLiteral("2026临床执业医师精讲班")));
        CourseModel *model = coursePage()->model();
        QCOMPARE(model->rowCount(), 2);
        QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("心血管系统"));
        QVERIFY(!coursePage()->tree()->header()->isVisible());
        coursePage()->tree()->expandAll();
        model->setData(findNode(model, QStringLiteral("心力衰竭")), Qt::Checked,
                       Qt::CheckStateRole);
        grab(window(), QStringLiteral("coursepage"));
        model->setData(findNode(model, QStringLiteral("心力衰竭")), Qt::Unchecked,
                       Qt::CheckStateRole);

        // A chapter whose lessons are only partly ticked shows a partly checked box.
        QCOMPARE(findNode(model, QStringLiteral("心血管系统")).data(Qt::CheckStateRole).toInt(),
                 int(Qt::Unchecked));
        model->setData(findNode(model, QStringLiteral("心力衰竭的临床表现")), Qt::Checked,
                       Qt::CheckStateRole);
        QCOMPARE(findNode(model, QStringLiteral("心血管系统")).data(Qt::CheckStateRole).toInt(),
                 int(Qt::PartiallyChecked));
        QCOMPARE(findNode(model, QStringLiteral("心力衰竭")).data(Qt::CheckStateRole).toInt(),
                 int(Qt::PartiallyChecked));
        model->setData(findNode(model, QStringLiteral("心力衰竭的临床表现")), Qt::Unchecked,
                       Qt::CheckStateRole);
        QCOMPARE(findNode(model, QStringLiteral("心血管系统")).data(Qt::CheckStateRole).toInt(),
                 int(Qt::Unchecked));

        // Nothing ticked: the page says so, stays, and nothing is queued.
        QSignalSpy appended(m_queue.get(), &FileStream::AppendMissionSignal);
        QTest::mouseClick(coursePage()->downloadButton(), Qt::LeftButton);
        QCOMPARE(appended.size(), 0);
        QCOMPARE(currentPage(window()), 1);
        QVERIFY(messageBox(window())->isVisible());
        QCOMPARE(messageBox(window())->messageLabel()->text(),
                 QStringLiteral("没有选中要下载的课程"));
        QTRY_VERIFY_WITH_TIMEOUT(!messageBox(window())->isVisible(), 4000);

        // Select all, then untick one chapter: only the other chapter's lessons go.
        QTest::mouseClick(coursePage()->selectAllBox(), Qt::LeftButton);
        QCOMPARE(
            findNode(model, QStringLiteral("慢性阻塞性肺疾病")).data(Qt::CheckStateRole).toInt(),
            int(Qt::Checked));
        model->setData(findNode(model, QStringLiteral("心血管系统")), Qt::Unchecked,
                       Qt::CheckStateRole);
        const int scrolled = coursePage()->tree()->verticalScrollBar()->value();
        QTest::mouseClick(coursePage()->downloadButton(), Qt::LeftButton);
        QCOMPARE(appended.size(), 1);
        // The page stays as it was, its chapters open, the lesson now marked as queued.
        QCOMPARE(currentPage(window()), 1);
        QVERIFY(coursePage()->tree()->isExpanded(findNode(model, QStringLiteral("心血管系统"))));
        QVERIFY(coursePage()->tree()->isExpanded(findNode(model, QStringLiteral("心力衰竭"))));
        QCOMPARE(coursePage()->tree()->verticalScrollBar()->value(), scrolled);
        QCOMPARE(coursePage()->model(), model);
        const QModelIndex queued = findNode(model, QStringLiteral("慢性阻塞性肺疾病"));
        QVERIFY(!queued.data(Qt::CheckStateRole).isValid());
        QVERIFY(!coursePage()->selectAllBox()->isChecked());
        QVERIFY(messageBox(window())->isVisible());
        QCOMPARE(messageBox(window())->messageLabel()->text(), QStringLiteral("已添加至下载列表"));
        QVERIFY(!m_queue->isPaused());
        const Course *stored = m_queue->findDownloadCourse(QStringLiteral("101"));
        QVERIFY(stored);
        QCOMPARE(stored->findCourseware(QStringLiteral("1018"))->downloadState,
                 int(Courseware::Queued));
        QCOMPARE(stored->findCourseware(QStringLiteral("1013"))->downloadState,
                 int(Courseware::NotDownloaded));
        // Chapters and sections are never marked, even when checked.
        QCOMPARE(stored->findCourseware(QStringLiteral("1017"))->downloadState,
                 int(Courseware::NotDownloaded));
        QTRY_VERIFY_WITH_TIMEOUT(!messageBox(window())->isVisible(), 4000);

        // Back on the course page the queued or downloaded lesson has no check box.
        QVERIFY(downloaded(QStringLiteral("101"), QStringLiteral("1018")));
        QTest::mouseClick(coursePage()->backButton(), Qt::LeftButton);
        QCOMPARE(currentPage(window()), 0);
        QVERIFY(openCourse(QStringLiteral("2026临床执业医师精讲班")));
        const QModelIndex lesson =
            findNode(coursePage()->model(), QStringLiteral("慢性阻塞性肺疾病"));
        QCOMPARE(lesson.siblingAtColumn(1).data().toString(), QStringLiteral("已下载"));
        QVERIFY(!lesson.data(Qt::CheckStateRole).isValid());
        QVERIFY(!coursePage()->selectAllBox()->isChecked());

        // The cancel button returns to my courses.
        QTest::mouseClick(coursePage()->cancelButton(), Qt::LeftButton);
        QCOMPARE(currentPage(window()), 0);
    }

    void doubleClickPlaysOnlyLessons()
    {
        QVERIFY(signIn());
        // The address request fails, so the reply shows a message instead of a player.
        QVERIFY(
            m_service.setFaults({{QStringLiteral("html"), QStringLiteral("GetKeysAndUrlByLid")}}));
        QVERIFY(openCourse(QStringLiteral("2026临床执业医师精讲班")));
        QTreeView *tree = coursePage()->tree();
        tree->expandAll();
        CourseModel *model = coursePage()->model();
        // What the system sends: press, release, double click (QTest's double click alone
        // has no press, and the view ignores a double click on an item it saw no press on).
        auto doubleClick = [tree](const QModelIndex &index) {
            const QPoint at = tree->visualRect(index).center();
            QTest::mousePress(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
            QTest::mouseRelease(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
            QTest::mouseDClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        };
        // Earlier tests' downloads asked the same endpoint.
        const int before = m_service.requestLog(QStringLiteral("GetKeysAndUrlByLid")).size();
        QSignalSpy doubleClicked(tree, &QAbstractItemView::doubleClicked);
        doubleClick(findNode(model, QStringLiteral("原发性高血压的诊断")));
        QCOMPARE(doubleClicked.size(), 1);
        QTRY_COMPARE(m_service.requestLog(QStringLiteral("GetKeysAndUrlByLid")).size(), before + 1);
        QTRY_COMPARE(m_answers->messages().size(), 1);

        // Chapters and sections play nothing.
        QTest::qWait(QApplication::doubleClickInterval());
        doubleClick(findNode(model, QStringLiteral("呼吸系统")));
        QTest::qWait(QApplication::doubleClickInterval());
        doubleClick(findNode(model, QStringLiteral("高血压")));
        QCOMPARE(doubleClicked.size(), 3);
        QTest::qWait(300);
        QCOMPARE(m_service.requestLog(QStringLiteral("GetKeysAndUrlByLid")).size(), before + 1);
        QCOMPARE(m_answers->messages().size(), 1);
        QCOMPARE(currentPage(window()), 1);

        // The keyboard: Enter opens and closes a chapter, the arrows walk and open the tree,
        // Space ticks a lesson, Enter plays it.
        tree->collapseAll();
        tree->setCurrentIndex(model->index(0, 0));
        const QModelIndex chapter = findNode(model, QStringLiteral("心血管系统"));
        QTest::keyClick(tree, Qt::Key_Return);
        QVERIFY(tree->isExpanded(chapter));
        QTest::keyClick(tree, Qt::Key_Down);
        QTest::keyClick(tree, Qt::Key_Right);
        QTest::keyClick(tree, Qt::Key_Down);
        QCOMPARE(tree->currentIndex().data().toString(), QStringLiteral("心力衰竭的病因与诱因"));
        QTest::keyClick(tree, Qt::Key_Space);
        QCOMPARE(tree->currentIndex().data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
        QCOMPARE(chapter.data(Qt::CheckStateRole).toInt(), int(Qt::PartiallyChecked));
        QTest::keyClick(tree, Qt::Key_Return);
        QTRY_COMPARE(m_service.requestLog(QStringLiteral("GetKeysAndUrlByLid")).size(), before + 2);
        QTRY_COMPARE(m_answers->messages().size(), 2);
        QVERIFY(tree->focusPolicy() & Qt::TabFocus);
    }

    void downloadScreenTabsCountsAndDeletion()
    {
        QVERIFY(signIn());
        window()->showDownloads();
        QCOMPARE(downloads()->cachedTab()->text(), QStringLiteral("已缓存"));
        QVERIFY(downloads()->emptyImage()->isVisible());
        QVERIFY(downloads()->diskLabel()->text().contains(QStringLiteral("GB / 可用空间：")));

        QVERIFY(openCourse(QStringLiteral("2026临床执业医师精讲班")));
        QVERIFY(downloadLessons(
            {QStringLiteral("心力衰竭的病因与诱因"), QStringLiteral("原发性高血压的诊断")}));
        QVERIFY(openCourse(QStringLiteral("2026护士资格考试冲刺班")));
        QVERIFY(downloadLessons({QStringLiteral("导学：如何使用本课程")}));
        QVERIFY(downloaded(QStringLiteral("101"), QStringLiteral("1013")));
        QVERIFY(downloaded(QStringLiteral("101"), QStringLiteral("1016")));
        QVERIFY(downloaded(QStringLiteral("102"), QStringLiteral("1021")));

        window()->showDownloads();
        QTRY_COMPARE(downloads()->cachedTab()->text(), QStringLiteral("已缓存（2个课程）"));
        QCOMPARE(downloads()->cachedGrid()->count(), 2); // two lessons of 101 make one tile
        QCOMPARE(downloads()->cachedGrid()->thumbnailModel()->itemAt(0)->cachedCount(), 2);
        QVERIFY(!downloads()->emptyImage()->isVisible());
        QVERIFY(downloads()->editButton()->isVisible());
        QVERIFY(!downloads()->startAllButton()->isVisible());
        QVERIFY(!downloads()->pauseAllButton()->isVisible());
        QTRY_VERIFY(QFile::exists(state().userDataDir + QStringLiteral("/cover-102.png")));
        grab(window(), QStringLiteral("downloads-cached"));

        // The caching tab with a paused queue offers only "全部开始".
        m_queue->setPaused(true);
        QVERIFY(openCourse(QStringLiteral("2026护士资格考试冲刺班")));
        QVERIFY(downloadLessons({QStringLiteral("血压的测量")}));
        m_queue->setPaused(true);
        window()->showDownloads();
        QTest::mouseClick(downloads()->cachingTab(), Qt::LeftButton);
        QCOMPARE(downloads()->cachingCount(), 1);
        QVERIFY(downloads()->cachingGrid()->isVisible());
        QVERIFY(!downloads()->cachedGrid()->isVisible());
        QVERIFY(downloads()->startAllButton()->isVisible());
        QVERIFY(!downloads()->pauseAllButton()->isVisible());
        QTest::mouseClick(downloads()->startAllButton(), Qt::LeftButton);
        QVERIFY(!m_queue->isPaused());
        QVERIFY(!downloads()->startAllButton()->isVisible());
        QVERIFY(downloads()->pauseAllButton()->isVisible());
        QVERIFY(downloaded(QStringLiteral("102"), QStringLiteral("1025")));
        QTRY_COMPARE(downloads()->cachingCount(), 0);
        QVERIFY(!downloads()->pauseAllButton()->isVisible());

        // Edit mode swaps the button sets; deleting a course tile removes its lessons.
        QTest::mouseClick(downloads()->cachedTab(), Qt::LeftButton);
        QTest::mouseClick(downloads()->editButton(), Qt::LeftButton);
        QVERIFY(downloads()->isEditMode());
        QVERIFY(!downloads()->editButton()->isVisible());
        QVERIFY(downloads()->deleteButton()->isVisible());
        QVERIFY(downloads()->cancelButton()->isVisible());
        QVERIFY(downloads()->selectAllBox()->isVisible());
        QTest::mouseClick(downloads()->cancelButton(), Qt::LeftButton);
        QVERIFY(downloads()->editButton()->isVisible());
        QVERIFY(!downloads()->deleteButton()->isVisible());

        const QString lessonFolder = m_queue->findDownloadLesson("101", "1013")->localPath;
        QVERIFY(QFileInfo(lessonFolder).isDir());
        QTest::mouseClick(downloads()->editButton(), Qt::LeftButton);
        clickTile(downloads()->cachedGrid(),
                  rowOf(downloads()->cachedGrid(), QStringLiteral("2026临床执业医师精讲班")));
        QCOMPARE(downloads()->cachedGrid()->checkedItems().size(), 1);
        QTest::mouseClick(downloads()->deleteButton(), Qt::LeftButton);
        QCOMPARE(m_answers->messages(), QStringList()); // no question on this page
        QCOMPARE(downloads()->cachedGrid()->count(), 1);
        QCOMPARE(downloads()->cachedTab()->text(), QStringLiteral("已缓存（1个课程）"));
        QCOMPARE(m_queue->findDownloadLesson("101", "1013")->downloadState,
                 int(Courseware::NotDownloaded));
        QCOMPARE(m_queue->findDownloadLesson("101", "1016")->downloadState,
                 int(Courseware::NotDownloaded));
        QCOMPARE(m_queue->findDownloadLesson("102", "1021")->downloadState,
                 int(Courseware::Downloaded));
        QVERIFY(!QFileInfo::exists(lessonFolder));
        QVERIFY(!downloads()->isEditMode());
    }

    void liveProgressTiles()
    {
        QVERIFY(signIn());
        // Slow media so the long lesson is still running when the screen is grabbed.
        QVERIFY(m_service.setFaults({{QStringLiteral("media-latency"), QStringLiteral("1500")}}));
        QVERIFY(openCourse(QStringLiteral("2026护士资格考试冲刺班")));
        QVERIFY(downloadLessons(
            {QStringLiteral("体温、脉搏与呼吸（完整演示）"), QStringLiteral("血压的测量")}));
        window()->showDownloads();
        QTest::mouseClick(downloads()->cachingTab(), Qt::LeftButton);
        QCOMPARE(downloads()->cachingCount(), 2);
        ThumbnailModel *tiles = downloads()->cachingGrid()->thumbnailModel();
        QTRY_VERIFY(QFile::exists(state().userDataDir + QStringLiteral("/cover-102.png")));
        // Part way, so the pie shows how far it got.
        QTRY_VERIFY_WITH_TIMEOUT(
            tiles->itemAt(0)->state() == ThumbnailItem::Downloading
                && tiles->itemAt(0)->progressAngle() > ThumbnailItem::FullAngle / 8
                && tiles->itemAt(0)->progressAngle() < ThumbnailItem::FullAngle * 7 / 8,
            30000);
        QCOMPARE(tiles->itemAt(1)->state(), int(ThumbnailItem::Waiting));
        QVERIFY(downloads()->pauseAllButton()->isVisible());
        tiles->notifyAllChanged();
        grab(window(), QStringLiteral("downloads-caching"));

        QTest::mouseClick(downloads()->pauseAllButton(), Qt::LeftButton);
        QVERIFY(m_queue->isPaused());
        QCOMPARE(tiles->itemAt(0)->state(), int(ThumbnailItem::Paused));
        QCOMPARE(tiles->itemAt(1)->state(), int(ThumbnailItem::Paused));
        grab(window(), QStringLiteral("downloads-paused"));

        // Deleting the running lesson from the caching tab stops it and drops its tile.
        QTest::mouseClick(downloads()->editButton(), Qt::LeftButton);
        // Tiles rebuilt during a selection (lessons added, one finished) still select.
        emit m_queue->AppendMissionSignal();
        QVERIFY(tiles->itemAt(0)->editMode());
        clickTile(downloads()->cachingGrid(), 0);
        QCOMPARE(downloads()->cachingGrid()->checkedItems().size(), 1);
        QTest::mouseClick(downloads()->selectAllBox(), Qt::LeftButton);
        QCOMPARE(downloads()->cachingGrid()->checkedItems().size(), 2);
        QTest::mouseClick(downloads()->deleteButton(), Qt::LeftButton);
        QCOMPARE(downloads()->cachingCount(), 0);
        QCOMPARE(m_queue->findDownloadLesson("102", "1024")->downloadState,
                 int(Courseware::NotDownloaded));
    }

    void lessonPageDeletesAndReturns()
    {
        QVERIFY(signIn());
        QVERIFY(openCourse(QStringLiteral("2026临床执业医师精讲班")));
        QVERIFY(downloadLessons(
            {QStringLiteral("心力衰竭的病因与诱因"), QStringLiteral("心力衰竭的临床表现")}));
        QVERIFY(downloaded(QStringLiteral("101"), QStringLiteral("1013")));
        QVERIFY(downloaded(QStringLiteral("101"), QStringLiteral("1014")));

        window()->showDownloads();
        QTRY_COMPARE(downloads()->cachedGrid()->count(), 1);
        clickTile(downloads()->cachedGrid(), 0);
        QCOMPARE(currentPage(window()), 4);
        QCOMPARE(lessonPage()->titleLabel()->text(), QStringLiteral("2026临床执业医师精讲班"));
        ThumbnailListWidget *list = lessonPage()->lessonList();
        QCOMPARE(list->count(), 3); // two lessons and the add-more tile
        QCOMPARE(list->thumbnailModel()->itemAt(2)->kind(), int(ThumbnailItem::AddMoreKind));
        QTRY_VERIFY(QFile::exists(state().userDataDir + QStringLiteral("/cover-101.png")));
        list->thumbnailModel()->notifyAllChanged();
        grab(window(), QStringLiteral("lessonpage"));

        // A downloaded tile plays its lesson from the store.
        QList<Courseware *> played;
        ThumbnailItemCourseware::setOfflinePlayer(
            [&played](Courseware *lesson) { played << lesson; });
        clickTile(list, 0);
        QCOMPARE(played, QList<Courseware *>() << m_queue->findDownloadLesson("101", "1013"));

        // Delete with nothing ticked: nothing removed, no signal, edit mode left.
        QSignalSpy removed(lessonPage(), &CoursewarePage::DownloadCoursewareRemovedSignal);
        QTest::mouseClick(lessonPage()->editButton(), Qt::LeftButton);
        QVERIFY(lessonPage()->deleteButton()->isVisible());
        QVERIFY(!lessonPage()->editButton()->isVisible());
        QTest::mouseClick(lessonPage()->deleteButton(), Qt::LeftButton);
        QCOMPARE(removed.size(), 0);
        QVERIFY(!lessonPage()->isEditMode());
        QCOMPARE(list->count(), 3);

        // One lesson: the page stays, the download screen's count follows.
        QTest::mouseClick(lessonPage()->editButton(), Qt::LeftButton);
        clickTile(list, 1);
        QTest::mouseClick(lessonPage()->deleteButton(), Qt::LeftButton);
        QCOMPARE(removed.size(), 1);
        QCOMPARE(list->count(), 2);
        QCOMPARE(currentPage(window()), 4);
        QCOMPARE(downloads()->cachedGrid()->thumbnailModel()->itemAt(0)->cachedCount(), 1);

        // The rest: only the add-more tile would be left, so back to the download page.
        QTest::mouseClick(lessonPage()->editButton(), Qt::LeftButton);
        QTest::mouseClick(lessonPage()->selectAllBox(), Qt::LeftButton);
        QTest::mouseClick(lessonPage()->deleteButton(), Qt::LeftButton);
        QCOMPARE(removed.size(), 2);
        QCOMPARE(list->count(), 1);
        QCOMPARE(currentPage(window()), 2);
        QCOMPARE(downloads()->cachedGrid()->count(), 0);
        QCOMPARE(downloads()->cachedTab()->text(), QStringLiteral("已缓存"));

        // The add-more tile opens its course again.
        window()->showLessonPage(QStringLiteral("101"));
        clickTile(list, 0);
        QVERIFY(waitFor([this] { return currentPage(window()) == 1; }));
        QCOMPARE(coursePage()->course()->id, QStringLiteral("101"));

        // Opening the page again leaves a selection that was left open.
        window()->showLessonPage(QStringLiteral("101"));
        QTest::mouseClick(lessonPage()->editButton(), Qt::LeftButton);
        QVERIFY(lessonPage()->isEditMode());
        window()->showDownloads();
        window()->showLessonPage(QStringLiteral("101"));
        QVERIFY(!lessonPage()->isEditMode());
        QVERIFY(lessonPage()->editButton()->isVisibleTo(lessonPage()));

        // An id outside the download list changes nothing.
        lessonPage()->loadCourse(QStringLiteral("999"));
        QCOMPARE(lessonPage()->titleLabel()->text(), QStringLiteral("2026临床执业医师精讲班"));
        QVERIFY(!lessonPage()->course());
    }

    // The service forgets every session (restarted with an empty data folder); the next
    // request tells the user, who lands on the sign-in form with the account filled in and
    // the focus on the password. The downloaded lesson stays, and plays offline once the
    // user is back in.
    void expiredSessionEndsAtTheSignInForm()
    {
        QVERIFY(signIn());
        QVERIFY(openCourse(QStringLiteral("2026临床执业医师精讲班")));
        QVERIFY(downloadLessons({QStringLiteral("慢性阻塞性肺疾病")}));
        QVERIFY(downloaded(QStringLiteral("101"), QStringLiteral("1018")));
        QTest::mouseClick(coursePage()->backButton(), Qt::LeftButton);
        const QString index = FileStream::indexFileFor(state().userStoreFile);
        m_answers->clear();

        QVERIFY2(m_service.restartWithFreshData(), qPrintable(m_service.errorString()));
        // Any request now: the user opens another course.
        clickTile(myCourses()->validList(),
                  rowOf(myCourses()->validList(), QStringLiteral("2026护士资格考试冲刺班")));
        QTRY_COMPARE_WITH_TIMEOUT(m_answers->messages(),
                                  QStringList() << QStringLiteral("登录已失效，请重新登录"), 10000);
        LoginWidget *login = userPage(window())->loginForm();
        QTRY_VERIFY(login->isVisible());
        QVERIFY(!state().signedIn);
        QCOMPARE(currentPage(window()), 3);
        QCOMPARE(login->nameEdit()->text(), QStringLiteral("13800138000"));
        QCOMPARE(login->passwordEdit()->text(), QString());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(login->passwordEdit()));
        QCOMPARE(m_answers->messages().size(), 1);
        // Nothing of the download is lost: its files and its line in the stored list.
        QVERIFY2(QFileInfo(index).size() > 0, qPrintable(index));
        const QString folder = state().downloadDir + QStringLiteral("/101/1018");
        QVERIFY2(QFile::exists(folder + QStringLiteral("/00000.zs")), qPrintable(folder));

        // Back in with the password alone (the session id the client holds is bound again).
        login->passwordEdit()->setText(QStringLiteral("lumra2026"));
        QTest::keyClick(login->passwordEdit(), Qt::Key_Return);
        QVERIFY(
            waitFor([this] { return state().signedIn && myCourses()->validList()->count() == 2; }));
        QVERIFY(m_queue->findDownloadLesson(QStringLiteral("101"), QStringLiteral("1018")));
        QCOMPARE(m_queue->findDownloadLesson(QStringLiteral("101"), QStringLiteral("1018"))
                     ->downloadState,
                 int(Courseware::Downloaded));
    }

    // The service cannot be reached: the my-courses page says so (no bare network error in a
    // box) and its button leads, by keyboard, to the downloaded lessons, which play.
    void offlineOffersTheDownloadedLessons()
    {
        QVERIFY(signIn());
        QVERIFY(openCourse(QStringLiteral("2026临床执业医师精讲班")));
        QVERIFY(downloadLessons({QStringLiteral("心力衰竭的病因与诱因")}));
        QVERIFY(downloaded(QStringLiteral("101"), QStringLiteral("1013")));
        QTest::mouseClick(coursePage()->backButton(), Qt::LeftButton);
        window()->showDownloads();
        downloads()->showCachingTab();
        window()->showCourses();
        m_answers->clear();

        m_service.stop();
        window()->setLoading(true);
        m_env->api()->getMyCourseList();
        QVERIFY(waitFor([this] { return myCourses()->offlineLabel()->isVisible(); }));
        QCOMPARE(myCourses()->offlineLabel()->text(),
                 QStringLiteral("无法连接到服务器，已下载的课程仍可离线观看"));
        QVERIFY(loadingWidget(window())->isHidden());
        QTest::qWait(200);
        QCOMPARE(m_answers->messages(), QStringList());
        QVERIFY(myCourses()->viewDownloadsButton()->isVisible());
        QVERIFY(myCourses()->retryButton()->isVisible());

        QList<Courseware *> played;
        ThumbnailItemCourseware::setOfflinePlayer(
            [&played](Courseware *lesson) { played << lesson; });
        QTest::keyClick(myCourses()->viewDownloadsButton(), Qt::Key_Return);
        QCOMPARE(currentPage(window()), 2);
        QVERIFY(downloads()->findChild<ThumbnailListWidget *>() != nullptr);
        ThumbnailListWidget *cached = nullptr;
        for (auto *grid : downloads()->findChildren<ThumbnailListWidget *>()) {
            if (grid->isVisible())
                cached = grid;
        }
        QVERIFY(cached);
        QCOMPARE(cached->count(), 1);
        QCOMPARE(cached->thumbnailModel()->itemAt(0)->kind(), int(ThumbnailItem::CourseDoneKind));
        cached->setCurrentIndex(cached->model()->index(0, 0));
        QTest::keyClick(cached, Qt::Key_Return);
        QCOMPARE(currentPage(window()), 4);
        ThumbnailListWidget *lessons = lessonPage()->findChild<ThumbnailListWidget *>();
        QVERIFY(lessons);
        lessons->setCurrentIndex(lessons->model()->index(0, 0));
        QTest::keyClick(lessons, Qt::Key_Space);
        QCOMPARE(played, QList<Courseware *>() << m_queue->findDownloadLesson("101", "1013"));

        QVERIFY2(m_service.start(), qPrintable(m_service.errorString()));
    }

    void diskSpaceText()
    {
        const quint64 gigabyte = 1024ull * 1024 * 1024;
        QCOMPARE(DiskSpace::formatGigabytes(500 * gigabyte, quint64(123.9 * gigabyte)),
                 QStringLiteral("500-123"));
        QCOMPARE(DiskSpace::diskSpace(QString()), QString());
        // A download folder not made yet is measured on the volume that will hold it.
        const QString space =
            DiskSpace::diskSpace(state().downloadDir + QStringLiteral("/not/made/yet"));
        QCOMPARE(space.split(QLatin1Char('-')).size(), 2);
        QCOMPARE(space, DiskSpace::diskSpace(state().downloadDir));
        QVERIFY(!DiskSpace::logicalDrives().isEmpty());
    }

    void downloadPathOverlay()
    {
        DownloadPathSettingWidget *overlay = downloadPathWidget(window());
        QVERIFY(!overlay->isVisible());
        QCOMPARE(overlay->titleLabel()->text(), QStringLiteral("默认下载地址"));
        QVERIFY(!overlay->pathEdit()->isEnabled());
        overlay->setPath(state().downloadDir);
        QTimer::singleShot(
            50, overlay, [overlay] { QTest::mouseClick(overlay->closeButton(), Qt::LeftButton); });
        overlay->exec(); // returns because closing the overlay ends its loop
        QVERIFY(!overlay->isVisible());
        QVERIFY(!overlay->isRunning());
    }
    // Progress the service knows of (from another machine) shows on the course tile and in
    // the tree; "继续学习" opens the lesson last played here, or else the one started.
    void progressOnTilesTreeAndContinue()
    {
        QVERIFY(signIn());
        const int mark = m_service.requestLog().size();
        m_env->api()->pushLearnStatus(QStringLiteral("101"), QStringLiteral("1013"),
                                      QStringLiteral("1"), QStringLiteral("1"));
        m_env->api()->editWatchTime(QStringLiteral("101"), QStringLiteral("1014"),
                                    QStringLiteral("5"), QStringLiteral("1"));
        QTRY_COMPARE(m_service.requestLog().size(), mark + 2);
        m_env->api()->getMyCourseList();
        ThumbnailListWidget *grid = myCourses()->validList();
        auto tileOf = [grid](const QString &title) {
            const int row = rowOf(grid, title);
            return row < 0 ? nullptr : grid->thumbnailModel()->itemAt(row);
        };
        QTRY_VERIFY(tileOf(QStringLiteral("2026临床执业医师精讲班"))
                    && tileOf(QStringLiteral("2026临床执业医师精讲班"))->learnedText()
                           == QStringLiteral("已学 1/4"));
        QVERIFY(tileOf(QStringLiteral("2026临床执业医师精讲班"))->canContinue());
        QCOMPARE(tileOf(QStringLiteral("2026护士资格考试冲刺班"))->learnedText(),
                 QStringLiteral("已学 0/3"));
        QVERIFY(!tileOf(QStringLiteral("2026护士资格考试冲刺班"))->canContinue());
        for (const QSize &screen : {QSize(1366, 768), QSize(1024, 600)}) {
            window()->resize(screen);
            grab(window(), QStringLiteral("%1x%2-progress-mycourses")
                               .arg(screen.width())
                               .arg(screen.height()));
        }

        // Here the student last opened 原发性高血压的诊断: that is where 继续学习 goes on.
        QVERIFY(LearningJournal(state().userDataDir)
                    .setLastLesson({QStringLiteral("101"), QStringLiteral("1016"),
                                    QStringLiteral("1"), QString()}));
        QVERIFY(
            m_service.setFaults({{QStringLiteral("html"), QStringLiteral("GetKeysAndUrlByLid")}}));
        const int asked = m_service.requestLog(QStringLiteral("GetKeysAndUrlByLid")).size();
        const int row = rowOf(grid, QStringLiteral("2026临床执业医师精讲班"));
        const QRect tile = grid->visualRect(grid->model()->index(row, 0));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                          ThumbnailDelegate::continueRect(tile).center());
        QTRY_COMPARE(m_service.requestLog(QStringLiteral("GetKeysAndUrlByLid")).size(), asked + 1);
        QVERIFY(m_service.requestLog(QStringLiteral("GetKeysAndUrlByLid"))
                    .last()
                    .value(QStringLiteral("query"))
                    .toString()
                    .contains(QStringLiteral("lesson_id=1016")));
        QCOMPARE(currentPage(window()), 1);
        QCOMPARE(coursePage()->tree()->currentIndex().data().toString(),
                 QStringLiteral("原发性高血压的诊断"));
        QTRY_COMPARE(m_answers->messages().size(), 1);

        // The tree marks the watched lesson and tells how far the started one got.
        CourseModel *model = coursePage()->model();
        QCOMPARE(findNode(model, QStringLiteral("心力衰竭的病因与诱因"))
                     .siblingAtColumn(3)
                     .data()
                     .toString(),
                 QStringLiteral("已学完"));
        QCOMPARE(findNode(model, QStringLiteral("心力衰竭的临床表现"))
                     .siblingAtColumn(3)
                     .data()
                     .toString(),
                 QStringLiteral("已学 41%"));
        QCOMPARE(findNode(model, QStringLiteral("慢性阻塞性肺疾病"))
                     .siblingAtColumn(3)
                     .data()
                     .toString(),
                 QString());
        coursePage()->tree()->expandAll();
        for (const QSize &screen : {QSize(1366, 768), QSize(1024, 600)}) {
            window()->resize(screen);
            grab(window(), QStringLiteral("%1x%2-progress-coursepage")
                               .arg(screen.width())
                               .arg(screen.height()));
        }

        // Without a lesson played here, the course goes on where it was started elsewhere;
        // this time from the keyboard: the menu key on the tile, then Enter.
        QVERIFY(QFile::remove(LearningJournal(state().userDataDir).filePath()));
        QTest::mouseClick(coursePage()->backButton(), Qt::LeftButton);
        grid->setFocus();
        grid->setCurrentIndex(grid->model()->index(row, 0));
        bool menuShown = false;
        QTimer::singleShot(100, this, [&menuShown] {
            if (QWidget *menu = QApplication::activePopupWidget()) {
                menuShown = true;
                QTest::keyClick(menu, Qt::Key_Down);
                QTest::keyClick(menu, Qt::Key_Return);
            }
        });
        // The window system turns the menu key into this event for the widget with the focus.
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(), QCursor::pos());
        QApplication::sendEvent(QApplication::focusWidget(), &menuKey);
        QVERIFY(menuShown);
        QTRY_COMPARE(m_service.requestLog(QStringLiteral("GetKeysAndUrlByLid")).size(), asked + 2);
        QVERIFY(m_service.requestLog(QStringLiteral("GetKeysAndUrlByLid"))
                    .last()
                    .value(QStringLiteral("query"))
                    .toString()
                    .contains(QStringLiteral("lesson_id=1014")));
        QTRY_COMPARE(m_answers->messages().size(), 2);

        // Watched to its end here: the tree and the tile follow before the service is asked again.
        const int lists = m_service.requestLog(QStringLiteral("MyCourseList")).size();
        const Courseware lesson =
            *state().findCourse(QStringLiteral("101"))->findCourseware(QStringLiteral("1014"));
        m_env->progress()->reportWatched(lesson, 12);
        QCOMPARE(findNode(coursePage()->model(), QStringLiteral("心力衰竭的临床表现"))
                     .siblingAtColumn(3)
                     .data()
                     .toString(),
                 QStringLiteral("已学完"));
        QCOMPARE(tileOf(QStringLiteral("2026临床执业医师精讲班"))->learnedText(),
                 QStringLiteral("已学 2/4"));
        QTRY_COMPARE(m_env->progress()->pendingCount(), 0);
        QCOMPARE(m_service.requestLog(QStringLiteral("MyCourseList")).size(), lists);
    }
};

QTEST_MAIN(TestCourseViews)
#include "tst_courseviews.moc"
