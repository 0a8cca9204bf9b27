#include "api/APIHandler.h"
#include "api/RequestType.h"
#include "api/ServiceSettings.h"
#include "app/Accessors.h"
#include "app/SettingKeys.h"
#include "app/Settings.h"
#include "model/Course.h"
#include "support/MiniHttpServer.h"
#include "support/TestAppState.h"
#include "ui/MainWidget.h"
#include "ui/ShutdownWidget.h"
#include "ui/WindowParts.h"
#include "widgets/ResourceInit.h"
#include "widgets/StyleButton.h"
#include "widgets/XMessageWidget.h"

#include "widgets/LoadingWidget.h"
#include <QAbstractButton>
#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace WindowParts;

class TestMainWidget : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestAppState> m_env;
    std::unique_ptr<APIHandler> m_api;
    // Answers every request with an empty success, so no question pops up unasked.
    MiniHttpServer m_service{[](const MiniHttpServer::Request &) {
        return MiniHttpServer::json("{\"flag\":1,\"data\":[]}");
    }};

    // Answers the next question of the message box with OK (0) or Cancel (1).
    static void answerSoon(MainWidget &window, int answer, QString *seen = nullptr)
    {
        QTimer::singleShot(50, &window, [&window, answer, seen] {
            XMessageWidget *box = messageBox(&window);
            if (seen)
                *seen = box->messageLabel()->text();
            QAbstractButton *button = answer == 0
                                          ? static_cast<QAbstractButton *>(box->okButton())
                                          : static_cast<QAbstractButton *>(box->cancelButton());
            QTest::mouseClick(button, Qt::LeftButton);
        });
    }

    static QStringList actionTexts(const QMenu *menu)
    {
        QStringList texts;
        for (const QAction *action : menu->actions())
            texts << (action->isSeparator() ? QStringLiteral("|") : action->text());
        return texts;
    }

private slots:
    void initTestCase()
    {
        initResources();
        qputenv("LUMRA_WEB_HOST", m_service.hostPort().toUtf8());
        ServiceSettings::reload();
    }

    void init()
    {
        m_env = std::make_unique<TestAppState>();
        m_api = std::make_unique<APIHandler>();
        registerApiHandler(m_api.get());
    }

    void cleanup()
    {
        registerApiHandler(nullptr);
        m_api.reset();
        m_env.reset();
    }

    void windowSizeRule()
    {
        QCOMPARE(MainWidget::windowSizeFor(1210), QSize(800, 600));
        QCOMPARE(MainWidget::windowSizeFor(1211), QSize(1210, 720));
        QCOMPARE(MainWidget::windowSizeFor(0), QSize(800, 600));
        // The free area of the screen bounds the window: a 1024×600 screen with a panel of
        // 28 pixels, and a 1920×1080 screen at double scale (960×540 logical pixels).
        const QRect netbook(0, 28, 1024, 572);
        QCOMPARE(MainWidget::windowGeometryFor(netbook), QRect(112, 28, 800, 572));
        const QRect doubled(0, 0, 960, 540);
        QVERIFY(doubled.contains(MainWidget::windowGeometryFor(doubled)));
        QCOMPARE(MainWidget::windowGeometryFor(QRect(0, 0, 1366, 728)).size(), QSize(1210, 720));
    }

    void menus()
    {
        MainWidget window;
        QCOMPARE(actionTexts(mainMenu(&window)), QStringList() << "切换线路"
                                                               << "设置"
                                                               << "|"
                                                               << "帮助");
        QMenu *help = mainMenu(&window)->actions().last()->menu();
        QVERIFY(help);
        QCOMPARE(actionTexts(help), QStringList() << "官方网站"
                                                  << "|"
                                                  << "意见反馈"
                                                  << "|"
                                                  << "关于"
                                                  << "|"
                                                  << "检查新版本"
                                                  << "|"
                                                  << "使用帮助");
        QCOMPARE(actionTexts(userMenu(&window)), QStringList() << "个人中心"
                                                               << "|"
                                                               << "退出");
        QCOMPARE(trayIcon(&window)->toolTip(), QStringLiteral("Lumra医考网校"));

        QList<QUrl> opened;
        window.setUrlOpener([&opened](const QUrl &url) { opened << url; });
        help->actions().at(2)->trigger();
        m_env->state().user.uid = QStringLiteral("77");
        help->actions().at(2)->trigger();
        help->actions().last()->trigger();
        QCOMPARE(opened.size(), 3);
        const QString site = QStringLiteral("http://") + ServiceSettings::webHost();
        QVERIFY(!site.endsWith(QLatin1Char('/')));
        QCOMPARE(opened.at(0).toString(),
                 site + "/suggest/index/feedback_type/1/is_from/5/uid/1/version/3.4.3.0");
        QCOMPARE(opened.at(1).toString(),
                 site + "/suggest/index/feedback_type/1/is_from/5/uid/77/version/3.4.3.0");
        QCOMPARE(opened.at(2).toString(), site + "/help/index/from/pc");
    }

    void signedOutNavigationLandsOnUserPage()
    {
        MainWidget window;
        QCOMPARE(currentPage(&window), 3); // construction ends on the user page
        window.showCourses();
        QCOMPARE(currentPage(&window), 3);
        window.showDownloads();
        QCOMPARE(currentPage(&window), 3);

        m_env->state().signedIn = true;
        window.showDownloads();
        QCOMPARE(currentPage(&window), 2);
        window.showCourses();
        QCOMPARE(currentPage(&window), 0);
    }

    void signInAndOutNotifications()
    {
        MainWidget window;
        AppState &state = m_env->state();
        state.signedIn = true;
        state.user.loginName = QStringLiteral("13800138000");
        emit m_api->HttpResponseSignal(ReqLogin, 1);
        QCOMPARE(greetingButton(&window)->text(), QStringLiteral("欢迎您，13800138000"));
        QVERIFY(!greetingButton(&window)->isHidden());
        QCOMPARE(currentPage(&window), 0);

        state.user.nickname = QStringLiteral("演示学员");
        emit m_api->HttpResponseSignal(ReqLogin, 1);
        QCOMPARE(greetingButton(&window)->text(), QStringLiteral("欢迎您，演示学员"));

        // Sign-out from the user menu.
        userMenu(&window)->actions().last()->trigger();
        QVERIFY(greetingButton(&window)->isHidden());
        QCOMPARE(currentPage(&window), 3);
        QVERIFY(!state.signedIn);
    }

    void serviceFailuresShowTheText()
    {
        MainWidget window;
        window.show();
        QString seen;
        answerSoon(window, 0, &seen);
        window.setLoading(true);
        emit m_api->HttpResponseSignal(ReqMyCourseList, 0, QStringLiteral("服务器维护中"));
        QCOMPARE(seen, QStringLiteral("服务器维护中"));
        QVERIFY(loadingWidget(&window)->isHidden());

        // Not reached at all: the page says so itself, no box is put in front of it.
        messageBox(&window)->messageLabel()->clear();
        seen = QStringLiteral("unread");
        answerSoon(window, 0, &seen);
        window.setLoading(true);
        emit m_api->HttpResponseSignal(ReqMyCourseList, 0, QStringLiteral("网络超时"));
        QTRY_VERIFY(seen != QStringLiteral("unread"));
        QCOMPARE(seen, QString());
        QVERIFY(loadingWidget(&window)->isHidden());
    }

    void expiredCourseShowsItsMessage()
    {
        MainWidget window;
        window.show();
        Course course;
        course.isExpired = QStringLiteral("1");
        course.endInfo = QStringLiteral("课程已于2026-01-01到期");
        QString seen;
        answerSoon(window, 0, &seen);
        window.openCourse(&course);
        QCOMPARE(seen, course.endInfo);
    }

    void closeAsksUnlessTray()
    {
        MainWidget window;
        window.setTrayProbe([] { return true; });
        window.show();

        // No setting: ask; cancel keeps the window.
        QString seen;
        answerSoon(window, 1, &seen);
        QCloseEvent cancelled;
        QApplication::sendEvent(&window, &cancelled);
        QCOMPARE(seen, QStringLiteral("确定退出？"));
        QVERIFY(!cancelled.isAccepted());
        QVERIFY(window.isVisible());

        // "1": hide to the tray without asking.
        Settings::setText(m_env->state().settings.get(), SettingKeys::ClosePosition,
                          QStringLiteral("1"));
        QCloseEvent toTray;
        QApplication::sendEvent(&window, &toTray);
        QVERIFY(!toTray.isAccepted());
        QVERIFY(!window.isVisible());
        window.restore();
        QVERIFY(window.isVisible());

        // OK accepts and quits.
        Settings::setText(m_env->state().settings.get(), SettingKeys::ClosePosition,
                          QStringLiteral("2"));
        answerSoon(window, 0);
        QCloseEvent accepted;
        QApplication::sendEvent(&window, &accepted);
        QVERIFY(accepted.isAccepted());
    }

    void noTrayNeverHidesTheWindow()
    {
        MainWidget window;
        bool tray = false;
        window.setTrayProbe([&tray] { return tray; });
        window.show();
        Settings::setText(m_env->state().settings.get(), SettingKeys::ClosePosition,
                          QStringLiteral("1"));
        Settings::setText(m_env->state().settings.get(), SettingKeys::MinimizePosition,
                          QStringLiteral("1"));

        QCloseEvent close;
        QApplication::sendEvent(&window, &close);
        QVERIFY(!close.isAccepted());
        QVERIFY(window.isVisible());
        QVERIFY(window.windowState() & Qt::WindowMinimized);

        window.restore();
        // Closing only hides the window and no tray would bring it back: the main menu
        // offers the tray menu's 退出, so the program can still be quit from its window.
        mainMenu(&window)->popup(window.mapToGlobal(QPoint(20, 60)));
        QCOMPARE(actionTexts(mainMenu(&window)).mid(4), QStringList() << "|"
                                                                      << "退出");
        mainMenu(&window)->hide();

        tray = true; // a panel appeared later
        mainMenu(&window)->popup(window.mapToGlobal(QPoint(20, 60)));
        QCOMPARE(actionTexts(mainMenu(&window)), QStringList() << "切换线路"
                                                               << "设置"
                                                               << "|"
                                                               << "帮助");
        mainMenu(&window)->hide();
        close.setAccepted(true);
        QApplication::sendEvent(&window, &close);
        QVERIFY(!window.isVisible());
    }

    void doubleClickInTitleBarToggles()
    {
        MainWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::mouseDClick(&window, Qt::LeftButton, Qt::NoModifier, QPoint(300, 50));
        QVERIFY(!(window.windowState() & Qt::WindowMaximized));
        QTest::mouseDClick(&window, Qt::LeftButton, Qt::NoModifier, QPoint(300, 49));
        QTRY_VERIFY(window.windowState() & Qt::WindowMaximized);
        QCOMPARE(window.layout()->contentsMargins().left(), 0);

        // Dragging a maximised window does not move it.
        const QPoint before = window.pos();
        QTest::mousePress(&window, Qt::LeftButton, Qt::NoModifier, QPoint(300, 20));
        QMouseEvent move(QEvent::MouseMove, QPointF(400, 60),
                         QPointF(window.mapToGlobal(QPoint(400, 60))), Qt::LeftButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &move);
        QCOMPARE(window.pos(), before);

        QTest::mouseDClick(&window, Qt::LeftButton, Qt::NoModifier, QPoint(300, 10));
        QTRY_VERIFY(!(window.windowState() & Qt::WindowMaximized));
        QCOMPARE(window.layout()->contentsMargins().left(), 5);
    }

    // A window maximised, hidden in the tray and shown again comes back as a normal window
    // in every respect: size, maximise button, shadow margin and dragging.
    void maximisedWindowComesBackFromTheTrayNormal()
    {
        MainWidget window;
        window.setTrayProbe([] { return true; });
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *maximise = window.findChild<QAbstractButton *>(QStringLiteral("btnMax"));
        QVERIFY(maximise);
        QTest::mouseClick(maximise, Qt::LeftButton);
        QTRY_VERIFY(window.windowState() & Qt::WindowMaximized);
        QVERIFY(maximise->isChecked());

        Settings::setText(m_env->state().settings.get(), SettingKeys::ClosePosition,
                          QStringLiteral("1"));
        QTest::mouseClick(window.findChild<QAbstractButton *>(QStringLiteral("btnClose")),
                          Qt::LeftButton);
        QVERIFY(!window.isVisible());
        trayIcon(&window)->contextMenu()->actions().first()->trigger(); // "显示"
        QVERIFY(window.isVisible());
        QTRY_VERIFY(!(window.windowState() & Qt::WindowMaximized));
        QVERIFY(!maximise->isChecked());
        QCOMPARE(window.layout()->contentsMargins().left(), 5);

        const QPoint before = window.pos();
        QTest::mousePress(&window, Qt::LeftButton, Qt::NoModifier, QPoint(300, 20));
        QMouseEvent move(QEvent::MouseMove, QPointF(340, 50),
                         QPointF(window.mapToGlobal(QPoint(340, 50))), Qt::LeftButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &move);
        QCOMPARE(window.pos(), before + QPoint(40, 30));

        // One click maximises again.
        QTest::mouseClick(maximise, Qt::LeftButton);
        QTRY_VERIFY(window.windowState() & Qt::WindowMaximized);
        QCOMPARE(window.layout()->contentsMargins().left(), 0);
    }

    // With "shut down when done" on and the window in the tray, the countdown must not run
    // unseen: the window comes to the front with the countdown on top, and the tray says so.
    void shutdownCountdownComesToTheFront()
    {
        MainWidget window;
        window.setTrayProbe([] { return true; });
        QStringList notices;
        window.setTrayNotifier([&notices](const QString &title, const QString &text) {
            notices << title + '|' + text;
        });
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        Settings::setText(m_env->state().settings.get(), SettingKeys::ClosePosition,
                          QStringLiteral("1"));
        QTest::mouseClick(window.findChild<QAbstractButton *>(QStringLiteral("btnClose")),
                          Qt::LeftButton);
        QVERIFY(!window.isVisible());

        window.showShutdown(); // what the download queue asks for when the last lesson is done
        QVERIFY(window.isVisible());
        QVERIFY(!window.isMinimized());
        QTRY_VERIFY(window.isActiveWindow());
        QWidget *countdown = shutdownWidget(&window);
        QVERIFY(countdown->isVisible());
        auto *cancel = countdown->findChild<QAbstractButton *>(QStringLiteral("btnCancel"));
        QVERIFY(cancel);
        QCOMPARE(window.childAt(cancel->mapTo(&window, cancel->rect().center())),
                 static_cast<QWidget *>(cancel));
        QCOMPARE(notices, QStringList() << QStringLiteral(
                              "Lumra医考网校|全部下载已完成，电脑将在30秒后关机"));
        QTest::mouseClick(cancel, Qt::LeftButton);
        QVERIFY(countdown->isHidden());

        // Minimised to the task bar it comes back the same way.
        window.showMinimized();
        window.showShutdown();
        QVERIFY(!window.isMinimized());
        QVERIFY(countdown->isVisible());
        QTest::mouseClick(cancel, Qt::LeftButton);
    }

    void bannerSlidesOpen()
    {
        MainWidget window;
        window.resize(1000, 700);
        window.show();
        QCOMPARE(banner(&window)->height(), 0);
        window.showUpdateBanner();
        QTRY_COMPARE_WITH_TIMEOUT(banner(&window)->height(), 35, 3000);
        QTest::qWait(50);
        QCOMPARE(banner(&window)->height(), 35);
        window.repaint();
        QCOMPARE(banner(&window)->width(), 600);
        QCOMPARE(banner(&window)->x(), 200);
    }
};

QTEST_MAIN(TestMainWidget)
#include "tst_mainwidget.moc"
