// The thumbnail family: tile roles, the model following the download queue, the grid's
// selection mode, size texts, and cover fetching through one shared network access.

#include "app/Accessors.h"
#include "download/FileStream.h"
#include "model/Course.h"
#include "model/ThumbnailDelegate.h"
#include "model/ThumbnailImageFetcher.h"
#include "model/ThumbnailItemAddMore.h"
#include "model/ThumbnailItemCourseDone.h"
#include "model/ThumbnailItemCourseware.h"
#include "model/ThumbnailItemMyCourse.h"
#include "model/ThumbnailListWidget.h"
#include "model/ThumbnailModel.h"
#include "support/MiniHttpServer.h"
#include "support/TestAppState.h"
#include "widgets/ResourceInit.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QSignalSpy>
#include <QToolTip>
#include <QtTest>

#include <memory>

namespace {

QByteArray pngBytes(const QColor &colour)
{
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

MiniHttpServer::Response picture(const QByteArray &bytes)
{
    MiniHttpServer::Response response;
    response.body = bytes;
    response.contentType = "image/png";
    return response;
}

} // namespace

class TestThumbnails : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestAppState> m_env;
    std::unique_ptr<FileStream> m_queue;

    Course course(const QString &id, const QString &img = QString())
    {
        Course c;
        c.id = id;
        c.title = QStringLiteral("课程") + id;
        c.img = img;
        for (int i = 1; i <= 3; ++i) {
            Courseware lesson;
            lesson.courseId = id;
            lesson.id = id + QString::number(i);
            lesson.level = Courseware::Lesson;
            lesson.title = QStringLiteral("第%1讲").arg(i);
            c.coursewares << lesson;
        }
        return c;
    }

private slots:
    void initTestCase() { initResources(); }

    void init()
    {
        m_env = std::make_unique<TestAppState>();
        m_env->state().userDataDir = m_env->root() + QStringLiteral("/user/13800138000");
        QDir().mkpath(m_env->state().userDataDir);
        m_queue = std::make_unique<FileStream>();
        registerFileStream(m_queue.get());
    }

    void cleanup()
    {
        ThumbnailItemCourseware::setOfflinePlayer({});
        registerFileStream(nullptr);
        m_queue.reset();
        m_env.reset();
    }

    void sizeTexts()
    {
        QCOMPARE(ThumbnailDelegate::sizeText(1536), QStringLiteral("1.50KB"));
        QCOMPARE(ThumbnailDelegate::sizeText(5 * 1048576.0), QStringLiteral("5.00MB"));
        QCOMPARE(ThumbnailDelegate::sizeText(1024 * 1024), QStringLiteral("1024.00KB"));
        QCOMPARE(ThumbnailDelegate::sizeText(3 * 1073741824.0), QStringLiteral("3.00GB"));
        QCOMPARE(ThumbnailDelegate::sizeText(0), QStringLiteral("0.00KB"));
    }

    void factoriesFillTheirFields()
    {
        Course c = course(QStringLiteral("5"), QStringLiteral("http://127.0.0.1:1/covers/a.png"));
        c.coursewares[0].downloadState = Courseware::Downloaded;
        c.coursewares[2].downloadState = Courseware::Downloaded;
        c.localPath = QStringLiteral("/store/5");
        c.coursewares[1].localPath = QStringLiteral("/store/5/52");
        const QString cover = m_env->state().userDataDir + QStringLiteral("/a.png");

        ThumbnailItemCourseDone done(&c);
        QCOMPARE(done.kind(), int(ThumbnailItem::CourseDoneKind));
        QCOMPARE(done.cachedCount(), 2);
        QCOMPARE(done.title(), QStringLiteral("课程5"));
        QCOMPARE(done.imagePath(), cover);
        QCOMPARE(done.localFolder(), QStringLiteral("/store/5"));

        ThumbnailItemCourseware lesson(&c, &c.coursewares[1], ThumbnailItem::Waiting);
        QCOMPARE(lesson.kind(), int(ThumbnailItem::CoursewareKind));
        QCOMPARE(lesson.title(), QStringLiteral("第2讲"));
        QCOMPARE(lesson.localFolder(), QStringLiteral("/store/5/52"));
        QCOMPARE(lesson.lessonId(), QStringLiteral("52"));
        QCOMPARE(lesson.imageUrl(), c.img);

        ThumbnailItemAddMore more(&c);
        QVERIFY(more.imagePath().endsWith(QStringLiteral("addmore.png")));
        more.setChecked(true);
        QVERIFY(!more.isChecked()); // the add-more tile never carries a check mark
        QVERIFY(!more.thumbnail().isNull());
        QCOMPARE(more.thumbnail().size(), QSize(220, 124));

        // Nobody signed in, or an address that names no file: no cache file at all.
        QCOMPARE(ThumbnailItem::cachePathFor(QStringLiteral("http://h/covers/")), QString());
        m_env->state().userDataDir.clear();
        QCOMPARE(ThumbnailItem::cachePathFor(c.img), QString());
    }

    void rolesReadAndWrite()
    {
        Course c = course(QStringLiteral("5"));
        ThumbnailModel model;
        model.setItems(
            {new ThumbnailItemCourseware(&c, &c.coursewares[0], ThumbnailItem::Waiting)});
        const QModelIndex index = model.index(0);
        QCOMPARE(ThumbnailItem::ImageRole, 257);
        QCOMPARE(ThumbnailItem::CheckedRole, 267);
        QCOMPARE(index.data(258).toString(), QStringLiteral("第1讲"));
        QCOMPARE(index.data(259).toInt(), 3);
        QCOMPARE(index.data(260).toInt(), 2);

        struct Write
        {
            int role;
            QVariant value;
        };
        const QList<Write> writes{{260, 4},
                                  {262, 2880},
                                  {263, 2048.5},
                                  {264, 4096.0},
                                  {265, QStringLiteral("网络超时")},
                                  {266, true},
                                  {267, true},
                                  {259, 1}};
        for (const Write &write : writes) {
            QVERIFY2(model.setData(index, write.value, write.role),
                     qPrintable(QString::number(write.role)));
            QCOMPARE(index.data(write.role), write.value);
        }
        QVERIFY(!model.setData(index, QStringLiteral("x"), 258));
        QVERIFY(!model.setData(index, 3, 261));
        QVERIFY(!model.setData(index, 1, Qt::DisplayRole));
        QVERIFY(!index.data(Qt::DisplayRole).isValid());
    }

    void modelFollowsTheQueue()
    {
        Course c = course(QStringLiteral("5"));
        Courseware *first = &c.coursewares[0];
        Courseware *second = &c.coursewares[1];
        ThumbnailModel model;
        model.setItems({new ThumbnailItemCourseware(&c, first, ThumbnailItem::Waiting),
                        new ThumbnailItemCourseware(&c, second, ThumbnailItem::Waiting),
                        new ThumbnailItemCourseDone(&c)});
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

        // A waiting tile that receives progress is downloading.
        emit m_queue->DownloadingProgressSignal(second, 0.25, 1000);
        emit m_queue->DownloadingProgressSignal(second, 0.5, 3000);
        ThumbnailItem *tile = model.itemAt(1);
        QCOMPARE(tile->state(), int(ThumbnailItem::Downloading));
        QCOMPARE(tile->progressAngle(), 2880);
        QCOMPARE(tile->speed(), 3000.0);
        QCOMPARE(tile->downloadedBytes(), 4000.0);
        QCOMPARE(model.itemAt(0)->state(), int(ThumbnailItem::Waiting));
        QCOMPARE(changed.size(), 2);
        QCOMPARE(changed.last().at(0).toModelIndex().row(), 1);

        emit m_queue->DownloadingStateChangeSignal(1);
        QCOMPARE(model.itemAt(0)->state(), int(ThumbnailItem::Paused));
        QCOMPARE(model.itemAt(1)->state(), int(ThumbnailItem::Paused));
        emit m_queue->DownloadingStateChangeSignal(0);
        QCOMPARE(model.itemAt(0)->state(), int(ThumbnailItem::Waiting));
        QCOMPARE(model.itemAt(1)->state(), int(ThumbnailItem::Waiting));
        emit m_queue->DownloadingProgressSignal(first, 0.1, 10);
        QCOMPARE(model.itemAt(0)->state(), int(ThumbnailItem::Downloading));

        emit m_queue->DownloadErrorSignal(second, QStringLiteral("获取下载地址失败"));
        QCOMPARE(model.itemAt(1)->state(), int(ThumbnailItem::Failed));
        QCOMPARE(model.itemAt(1)->errorText(), QStringLiteral("获取下载地址失败"));
        // A failed tile stays failed across a pause; the course tile is never touched.
        emit m_queue->DownloadingStateChangeSignal(1);
        QCOMPARE(model.itemAt(1)->state(), int(ThumbnailItem::Failed));
        QCOMPARE(model.itemAt(2)->state(), int(ThumbnailItem::Waiting));

        Courseware stranger;
        const int before = changed.size();
        emit m_queue->DownloadingProgressSignal(&stranger, 0.5, 1);
        QCOMPARE(changed.size(), before);
    }

    void replacingTheListDeletesTheOldTiles()
    {
        Course c = course(QStringLiteral("5"));
        ThumbnailListWidget grid;
        QPointer<ThumbnailItem> old = new ThumbnailItemAddMore(&c);
        grid.setItems({old.data()});
        QCOMPARE(grid.count(), 1);
        grid.setItems({new ThumbnailItemAddMore(&c), new ThumbnailItemMyCourse(&c)});
        QVERIFY(old.isNull());
        QCOMPARE(grid.count(), 2);
    }

    void editModeClicksTickInsteadOfOpening()
    {
        Course c = course(QStringLiteral("5"));
        c.coursewares[0].downloadState = Courseware::Downloaded;
        m_env->state().user.downloads << c;
        Course &stored = m_env->state().user.downloads.last();
        QList<Courseware *> played;
        ThumbnailItemCourseware::setOfflinePlayer(
            [&played](Courseware *lesson) { played << lesson; });

        ThumbnailListWidget grid;
        grid.resize(1170, 500);
        grid.setItems({new ThumbnailItemCourseware(&stored, &stored.coursewares[0],
                                                   ThumbnailItem::Downloaded),
                       new ThumbnailItemAddMore(&stored)});
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        const QPoint firstTile = grid.visualRect(grid.model()->index(0, 0)).center();
        QVERIFY(!grid.visualRect(grid.model()->index(1, 0))
                     .intersects(grid.visualRect(grid.model()->index(0, 0))));

        QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier, firstTile);
        QCOMPARE(played, QList<Courseware *>() << &stored.coursewares[0]);

        grid.setEditMode(true);
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier, firstTile);
        QCOMPARE(played.size(), 1);
        QCOMPARE(grid.checkedItems().size(), 1);
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier, firstTile);
        QVERIFY(grid.checkedItems().isEmpty());

        grid.setAllChecked(true);
        QCOMPARE(grid.checkedItems().size(), 1); // the add-more tile is never selected
        QVERIFY(!grid.thumbnailModel()->index(1).data(ThumbnailItem::CheckedRole).toBool());
        grid.setEditMode(false);
        QVERIFY(grid.checkedItems().isEmpty());

        // The keyboard does what the mouse does: the arrows move the frame, Space or Enter
        // acts on the tile under it (plays outside selection mode, ticks inside it).
        grid.setFocus();
        grid.setCurrentIndex(grid.model()->index(1, 0));
        QTest::keyClick(&grid, Qt::Key_Left);
        QCOMPARE(grid.currentIndex().row(), 0);
        QTest::keyClick(&grid, Qt::Key_Return);
        QCOMPARE(played.size(), 2);
        grid.setEditMode(true);
        QTest::keyClick(&grid, Qt::Key_Space);
        QCOMPARE(grid.checkedItems().size(), 1);
        QCOMPARE(played.size(), 2);
        grid.setEditMode(false);

        // A tile whose lesson was removed from the list in the meantime plays nothing.
        stored.coursewares[0].downloadState = Courseware::NotDownloaded;
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier, firstTile);
        QCOMPARE(played.size(), 2);
    }

    // A title too long for the lines under the cover ends in "…" and shows whole as the
    // tile's tool tip; a short one has no tool tip. A failed lesson says in Chinese what
    // failed and that a click tries again.
    void longTitlesAndFailedTiles()
    {
        Course c = course(QStringLiteral("6"));
        const QString longTitle =
            QStringLiteral("2026临床执业医师考点串讲与历年真题精选配套强化训练班（含模拟试卷及答案"
                           "解析，附赠考前押题、"
                           "高频考点速记手册、实践技能操作视频与全程答疑服务）");
        c.coursewares[0].title = longTitle;
        m_env->state().user.downloads << c;
        Course &stored = m_env->state().user.downloads.last();
        ThumbnailListWidget grid;
        grid.resize(800, 300);
        grid.setItems(
            {new ThumbnailItemCourseware(&stored, &stored.coursewares[0], ThumbnailItem::Failed),
             new ThumbnailItemCourseware(&stored, &stored.coursewares[1], ThumbnailItem::Waiting)});
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));

        bool elided = false;
        const QString shown = ThumbnailDelegate::captionText(longTitle, &elided);
        QVERIFY(elided);
        QVERIFY(shown.endsWith(QChar(0x2026)));
        ThumbnailDelegate::captionText(QStringLiteral("第2讲"), &elided);
        QVERIFY(!elided);

        auto toolTipAt = [&grid](int row) {
            QToolTip::hideText();
            (void)QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 2000);
            const QPoint at = grid.visualRect(grid.model()->index(row, 0)).center();
            QHelpEvent help(QEvent::ToolTip, at, grid.viewport()->mapToGlobal(at));
            QApplication::sendEvent(grid.viewport(), &help);
            QTest::qWait(50);
            return QToolTip::isVisible() ? QToolTip::text() : QString();
        };
        QCOMPARE(toolTipAt(0), longTitle);
        QCOMPARE(toolTipAt(1), QString());

        for (const char *error : {"Load M3u8 Error", "Load Key Error", "Load Seg Error"}) {
            const QString text = ThumbnailDelegate::failureText(QString::fromLatin1(error));
            QVERIFY2(text.startsWith(QStringLiteral("下载失败")), qPrintable(text));
            QVERIFY2(!text.contains(QStringLiteral("Error")), qPrintable(text));
        }
        QCOMPARE(ThumbnailDelegate::failureText(QStringLiteral("获取下载地址失败")),
                 QStringLiteral("获取下载地址失败"));
        QCOMPARE(ThumbnailDelegate::retryHint(), QStringLiteral("点击重试"));
    }

    void failedTileRestartsTheQueue()
    {
        Course c = course(QStringLiteral("5"));
        c.coursewares[0].downloadState = Courseware::Queued;
        m_env->state().user.downloads << c;
        Course &stored = m_env->state().user.downloads.last();
        ThumbnailItemCourseware tile(&stored, &stored.coursewares[0], ThumbnailItem::Failed);
        QVERIFY(!m_queue->currentLesson());
        tile.activate();
        // startNext picked the queued lesson again.
        QCOMPARE(m_queue->currentLesson(), &stored.coursewares[0]);
    }

    void paintsTheStates()
    {
        Course c = course(QStringLiteral("5"));
        ThumbnailModel model;
        auto *downloading =
            new ThumbnailItemCourseware(&c, &c.coursewares[0], ThumbnailItem::Downloading);
        downloading->setProgressAngle(ThumbnailItem::FullAngle / 4);
        model.setItems({downloading, new ThumbnailItemCourseware(&c, &c.coursewares[1],
                                                                 ThumbnailItem::Downloaded)});
        ThumbnailDelegate delegate;
        QImage canvas(460, 210, QImage::Format_ARGB32);
        canvas.fill(Qt::white);
        {
            QPainter painter(&canvas);
            QStyleOptionViewItem option;
            option.rect = QRect(0, 0, 230, 210);
            delegate.paint(&painter, option, model.index(0));
            option.rect = QRect(230, 0, 230, 210);
            delegate.paint(&painter, option, model.index(1));
        }
        // The dark veil covers an unfinished lesson only; the quarter pie is white at
        // about two o'clock and absent at eight.
        QVERIFY(qGray(canvas.pixel(10, 20)) < 120);
        QVERIFY(qGray(canvas.pixel(240, 20)) > 200);
        QCOMPARE(qGray(canvas.pixel(101 + 14 + 8, 13 + 34 + 14 - 6)), 255);
        QVERIFY(qGray(canvas.pixel(101 + 14 - 8, 13 + 34 + 14 + 6)) < 120);
    }

    void oneRequestPerCoverAndRetries()
    {
        int failuresLeft = 2;
        const QByteArray png = pngBytes(Qt::red);
        MiniHttpServer server([&](const MiniHttpServer::Request &request) {
            if (request.target.contains("broken"))
                return MiniHttpServer::json("<html>error</html>"); // status 200, not a picture
            if (failuresLeft > 0) {
                --failuresLeft;
                MiniHttpServer::Response failed;
                failed.status = 500;
                return failed;
            }
            return picture(png);
        });
        const QString base =
            QStringLiteral("http://") + server.hostPort() + QStringLiteral("/covers/");
        ThumbnailImageFetcher *fetcher = ThumbnailImageFetcher::instance();
        const int before = fetcher->requestCount();

        QList<Course> courses;
        for (int i = 0; i < 300; ++i)
            courses << course(QString::number(i), base + QStringLiteral("shared.png"));
        ThumbnailListWidget grid;
        QList<ThumbnailItem *> tiles;
        for (Course &c : courses)
            tiles << new ThumbnailItemMyCourse(&c);
        grid.setItems(tiles);
        QSignalSpy changed(grid.model(), &QAbstractItemModel::dataChanged);

        const QString cover = m_env->state().userDataDir + QStringLiteral("/shared.png");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(cover), 8000);
        // Two failures, one success: three requests for 300 tiles, each tile repainted.
        QCOMPARE(fetcher->requestCount() - before, 3);
        QCOMPARE(server.requests().size(), 3);
        QTRY_COMPARE(changed.size(), 300);
        QCOMPARE(grid.thumbnailModel()
                     ->index(299)
                     .data(ThumbnailItem::ImageRole)
                     .value<QPixmap>()
                     .size(),
                 QSize(220, 124));

        // A tile made now finds the file and sends nothing.
        Course again = course(QStringLiteral("x"), base + QStringLiteral("shared.png"));
        ThumbnailItemMyCourse late(&again);
        QCOMPARE(server.requests().size(), 3);

        // An error page is never stored; once no tile waits for it, the retries stop.
        Course broken = course(QStringLiteral("b"), base + QStringLiteral("broken.png"));
        {
            ThumbnailItemMyCourse tile(&broken);
            QTRY_VERIFY_WITH_TIMEOUT(server.requests().size() >= 5, 4000);
            QVERIFY(!QFile::exists(m_env->state().userDataDir + QStringLiteral("/broken.png")));
        }
        QTest::qWait(ThumbnailImageFetcher::RetryDelayMs + 500);
        const int settled = server.requests().size();
        QTest::qWait(ThumbnailImageFetcher::RetryDelayMs + 500);
        QCOMPARE(server.requests().size(), settled);
        QCOMPARE(fetcher->pendingCount(), 0);
    }
};

QTEST_MAIN(TestThumbnails)
#include "tst_thumbnails.moc"
