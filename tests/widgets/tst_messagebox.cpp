// The overlay base, the modal question with its nested loop, the timed notice
// and the loading overlay, hosted in a plain parent widget as the main window
// would host them.
#include "app/Theme.h"
#include "widgets/ImageButton.h"
#include "widgets/ImageRadioButton.h"
#include "widgets/LoadingWidget.h"
#include "widgets/PopWidget.h"
#include "widgets/ResourceInit.h"
#include "widgets/StyleButton.h"
#include "widgets/StyleWidget.h"
#include "widgets/XMessageWidget.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMovie>
#include <QPointer>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

// Keys typed as the keyboard delivers them: to the window, which hands them to its focus.
static void typeKeys(QWindow *window, const QString &text)
{
    for (const QChar c : text)
        QTest::keyClick(window, c.toLatin1());
}

class TestMessageBox : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initResources();
        qApp->setStyleSheet(Theme::loadStyleSheet());
    }

    void init()
    {
        m_host = new QWidget;
        m_host->resize(800, 600);
        m_box = new XMessageWidget(m_host);
        m_box->setGeometry(m_host->rect());
        m_box->hide();
        m_host->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_host));
    }

    void cleanup() { delete m_host; }

    void popWidgetStructure()
    {
        PopWidget pop(QStringLiteral("关于"), m_host);
        QCOMPARE(pop.titleLabel()->text(), QStringLiteral("关于"));
        QCOMPARE(pop.titleLabel()->objectName(), QStringLiteral("lblUserInfo"));
        QCOMPARE(pop.boxFrame()->objectName(), QStringLiteral("MessageBox"));
        QCOMPARE(pop.contentArea()->objectName(), QStringLiteral("MessageBox"));
        QCOMPARE(pop.titleBar()->objectName(), QStringLiteral("MessageBoxTitle"));
        QCOMPARE(pop.titleBar()->height(), 45);
        QCOMPARE(pop.closeButton()->parentWidget(), pop.titleBar());
        QCOMPARE(pop.titleBar()->parentWidget(), pop.boxFrame());
        QCOMPARE(pop.contentArea()->parentWidget(), pop.boxFrame());

        pop.contentArea()->setFixedSize(300, 120);
        pop.setGeometry(m_host->rect());
        pop.show();
        QVERIFY(pop.isVisible());
        // The area around the box is dimmed with black of alpha 120.
        QImage shot(pop.size(), QImage::Format_ARGB32);
        shot.fill(Qt::transparent);
        pop.render(&shot, QPoint(), QRegion(), QWidget::DrawChildren);
        QCOMPARE(shot.pixelColor(2, 2), QColor(0, 0, 0, 120));
        // The box itself is opaque white from the style sheet.
        const QPoint inBox = pop.contentArea()->mapTo(&pop, pop.contentArea()->rect().center());
        QCOMPARE(shot.pixelColor(inBox), QColor(Qt::white));

        QTest::mouseClick(pop.closeButton(), Qt::LeftButton);
        QVERIFY(pop.isHidden());
    }

    void okAndCancelAnswers_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("press");
        QTest::addColumn<int>("expected");
        QTest::addColumn<bool>("cancelShown");
        QTest::newRow("information, OK") << 1 << "ok" << 0 << false;
        QTest::newRow("information, close") << 1 << "close" << 1 << false;
        QTest::newRow("question, OK") << 0 << "ok" << 0 << true;
        QTest::newRow("question, cancel") << 0 << "cancel" << 1 << true;
        QTest::newRow("question, close") << 2 << "close" << 1 << true;
    }

    void okAndCancelAnswers()
    {
        QFETCH(int, mode);
        QFETCH(QString, press);
        QFETCH(int, expected);
        QFETCH(bool, cancelShown);

        bool cancelVisible = !cancelShown;
        bool okVisible = false;
        QTimer::singleShot(0, this, [&] {
            cancelVisible = m_box->cancelButton()->isVisible();
            okVisible = m_box->okButton()->isVisible();
            QPushButton *button = m_box->closeButton();
            if (press == "ok")
                button = m_box->okButton();
            else if (press == "cancel")
                button = m_box->cancelButton();
            QTest::mouseClick(button, Qt::LeftButton);
        });
        QCOMPARE(m_box->showMessage(QStringLiteral("确定退出？"), mode), expected);
        QCOMPARE(cancelVisible, cancelShown);
        QVERIFY(okVisible);
        QCOMPARE(m_box->messageLabel()->text(), QStringLiteral("确定退出？"));
        QCOMPARE(m_box->result(), expected);
        QVERIFY(m_box->isHidden());
    }

    void waitingQuestionKeepsEventsFlowing()
    {
        // Timers fire while the question waits, and the caller resumes only after the answer.
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
        ticker.start(10);
        QTimer::singleShot(100, this,
                           [this] { QTest::mouseClick(m_box->okButton(), Qt::LeftButton); });
        QCOMPARE(m_box->showMessage(QStringLiteral("继续？"), 0), 0);
        QVERIFY(ticks >= 3);
    }

    // A form behind the box, as the sign-in form is: while the question is open the keys a
    // user presses go to the box, Tab cannot leave it, Enter answers with the default (OK) and
    // Esc with Cancel (OK where it is the only answer); then the form has its focus back.
    void keyboardAnswersAndKeepsFormBehindUntouched_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("expected");
        QTest::newRow("question, Enter") << 0 << int(Qt::Key_Return) << 0;
        QTest::newRow("question, Esc") << 0 << int(Qt::Key_Escape) << 1;
        QTest::newRow("notice, keypad Enter") << 1 << int(Qt::Key_Enter) << 0;
        QTest::newRow("notice, Esc") << 1 << int(Qt::Key_Escape) << 0;
    }

    void keyboardAnswersAndKeepsFormBehindUntouched()
    {
        QFETCH(int, mode);
        QFETCH(int, key);
        QFETCH(int, expected);
        auto *field = new QLineEdit(m_host);
        field->setGeometry(20, 20, 200, 30);
        field->show();
        m_box->raise();
        m_host->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_host));
        field->setFocus();
        QTRY_VERIFY(field->hasFocus());
        int returnsBehind = 0;
        connect(field, &QLineEdit::returnPressed, this, [&] { ++returnsBehind; });

        bool focusInBox = false;
        bool tabStayedInBox = false;
        QTimer::singleShot(0, this, [&] {
            focusInBox = m_box->isAncestorOf(QApplication::focusWidget());
            // Typing, and Enter aimed at the field itself, as a key held down would be.
            typeKeys(m_host->windowHandle(), QStringLiteral("abc"));
            QTest::keyClick(field, Qt::Key_Return);
            // Enter went to the box, which answered it: ask again for the remaining keys.
            if (m_box->isVisible())
                QTest::keyClick(m_host->windowHandle(), Qt::Key_Escape);
        });
        // Should the keys not answer, the title bar's close button ends the question (as 1).
        QTimer watchdog;
        watchdog.setSingleShot(false);
        connect(&watchdog, &QTimer::timeout, this, [this] {
            if (m_box->isVisible())
                QTest::mouseClick(m_box->closeButton(), Qt::LeftButton);
        });
        watchdog.start(2000);
        // The first Enter aimed at the field must answer the box, not reach the field.
        const int first = m_box->showMessage(QStringLiteral("确定退出？"), mode);
        QCOMPARE(first, 0);
        QVERIFY(focusInBox);
        QCOMPARE(field->text(), QString());
        QCOMPARE(returnsBehind, 0);
        QTRY_VERIFY(field->hasFocus());

        QTimer::singleShot(0, this, [&] {
            for (int i = 0; i < 4; ++i)
                QTest::keyClick(m_host->windowHandle(), Qt::Key_Tab);
            tabStayedInBox = m_box->isAncestorOf(QApplication::focusWidget());
            // Tab may have moved to Cancel; the key under test answers from the default again.
            m_box->okButton()->setFocus();
            QTest::keyClick(m_host->windowHandle(), Qt::Key(key));
        });
        QCOMPARE(m_box->showMessage(QStringLiteral("确定退出？"), mode), expected);
        QVERIFY(tabStayedInBox);
        QVERIFY(m_box->isHidden());
        QCOMPARE(field->text(), QString());
        QCOMPARE(returnsBehind, 0);
        QTRY_VERIFY(field->hasFocus());
        typeKeys(m_host->windowHandle(), QStringLiteral("ok"));
        QCOMPARE(field->text(), QStringLiteral("ok"));
    }

    void escClosesADialogAndTipsLeaveTheKeyboard()
    {
        auto *field = new QLineEdit(m_host);
        field->show();
        m_host->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_host));
        field->setFocus();
        PopWidget dialog(QStringLiteral("关于"), m_host);
        dialog.setGeometry(m_host->rect());
        auto *button =
            new StyleButton(QStringLiteral("确认"), QStringLiteral("btnOK"), dialog.contentArea());
        auto *row = new QHBoxLayout(dialog.contentArea());
        row->addWidget(button);
        int clicks = 0;
        connect(button, &QPushButton::clicked, this, [&] { ++clicks; });
        dialog.show();
        // Opens on its first control, which Enter and Space press.
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(button));
        QTest::keyClick(m_host->windowHandle(), Qt::Key_Return);
        QTest::keyClick(m_host->windowHandle(), Qt::Key_Space);
        QCOMPARE(clicks, 2);
        QTest::keyClick(m_host->windowHandle(), Qt::Key_Escape);
        QVERIFY(dialog.isHidden());
        QTRY_VERIFY(field->hasFocus());

        // A notice that closes by itself does not take the keys from the page.
        m_box->showTip(QStringLiteral("已添加至下载列表"), 2000);
        typeKeys(m_host->windowHandle(), QStringLiteral("x"));
        QCOMPARE(field->text(), QStringLiteral("x"));
        QTest::keyClick(m_host->windowHandle(), Qt::Key_Escape);
        QVERIFY(m_box->isVisible());
    }

    void tipClosesItself()
    {
        m_box->showTip(QStringLiteral("已加入下载队列"), 2000);
        QVERIFY(m_box->isVisible());
        QVERIFY(m_box->okButton()->isHidden());
        QVERIFY(m_box->cancelButton()->isHidden());
        QCOMPARE(m_box->messageLabel()->text(), QStringLiteral("已加入下载队列"));
        QTest::qWait(1000);
        QVERIFY(m_box->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(m_box->isHidden(), 3000);
    }

    void tipEndsWaitingQuestionAsCancel()
    {
        QTimer::singleShot(0, this, [this] { m_box->showTip(QStringLiteral("网络异常"), 200); });
        QCOMPARE(m_box->showMessage(QStringLiteral("下载所选课程？"), 0), 1);
        // The notice is what the user now sees, and it still goes away by itself.
        QVERIFY(m_box->isVisible());
        QCOMPARE(m_box->messageLabel()->text(), QStringLiteral("网络异常"));
        QTRY_VERIFY_WITH_TIMEOUT(m_box->isHidden(), 2000);
    }

    void pendingTipDoesNotCloseALaterQuestion()
    {
        m_box->showTip(QStringLiteral("已删除"), 50);
        int answer = -1;
        QTimer::singleShot(300, this, [this] {
            // Well past the tip's time the question must still be up.
            QVERIFY(m_box->isVisible());
            QVERIFY(m_box->okButton()->isVisible());
            QTest::mouseClick(m_box->okButton(), Qt::LeftButton);
        });
        answer = m_box->showMessage(QStringLiteral("确定删除？"), 0);
        QCOMPARE(answer, 0);
    }

    void newQuestionTakesOverWaitingOne()
    {
        int inner = -1;
        QTimer::singleShot(0, this, [&] {
            QTimer::singleShot(0, this,
                               [this] { QTest::mouseClick(m_box->okButton(), Qt::LeftButton); });
            inner = m_box->showMessage(QStringLiteral("第二个问题"), 0);
        });
        const int outer = m_box->showMessage(QStringLiteral("第一个问题"), 0);
        QCOMPARE(inner, 0);
        QCOMPARE(outer, 1);
        QVERIFY(m_box->isHidden());
    }

    void hiddenByOwnerEndsQuestion()
    {
        QTimer::singleShot(0, this, [this] { m_box->hide(); });
        QCOMPARE(m_box->showMessage(QStringLiteral("重新登录？"), 0), 1);
    }

    void hiddenAncestorDoesNotEndQuestion()
    {
        bool stillWaiting = false;
        QTimer::singleShot(0, this, [&] { m_host->hide(); });
        QTimer::singleShot(50, this, [&] {
            stillWaiting = true;
            m_host->show();
            QTest::mouseClick(m_box->okButton(), Qt::LeftButton);
        });
        QCOMPARE(m_box->showMessage(QStringLiteral("确定？"), 0), 0);
        QVERIFY(stillWaiting);
    }

    void deletedBoxReleasesCaller()
    {
        QTimer::singleShot(0, this, [this] { delete m_box; });
        QPointer<XMessageWidget> box(m_box);
        QCOMPARE(m_box->showMessage(QStringLiteral("确定？"), 0), 1);
        QVERIFY(box.isNull());
    }

    void resultKeepsLastAnswer()
    {
        QCOMPARE(m_box->result(), 1);
        QTimer::singleShot(0, this,
                           [this] { QTest::mouseClick(m_box->okButton(), Qt::LeftButton); });
        m_box->showMessage(QStringLiteral("一"), 1);
        m_box->showTip(QStringLiteral("二"), 10);
        QCOMPARE(m_box->result(), 0);
    }

    void loadingOverlay()
    {
        LoadingWidget loading(m_host);
        loading.setGeometry(m_host->rect());
        loading.show();
        QVERIFY(!loading.boxFrame()->isVisible());
        QVERIFY(!loading.titleBar()->isVisible());
        QVERIFY(!loading.closeButton()->isVisible());
        QVERIFY(loading.panel()->isVisible());
        QCOMPARE(loading.panel()->objectName(), QStringLiteral("LoadingWidget"));
        QCOMPARE(loading.panel()->size(), QSize(200, 100));
        QCOMPARE(loading.panel()->geometry().center(), loading.rect().center());
        QVERIFY(loading.movie()->isValid());
        QCOMPARE(loading.movie()->state(), QMovie::Running);
        auto *text = loading.panel()->findChild<QLabel *>(QStringLiteral("lblClass"));
        QVERIFY(text);
        QCOMPARE(text->text(), QStringLiteral("正在加载，请稍后"));
    }

    // Renders the box with Chinese text for a look by eye when asked to.
    void screenshotForReview()
    {
        const QString path = qEnvironmentVariable("LUMRA_WIDGET_SHOT");
        if (path.isEmpty())
            QSKIP("set LUMRA_WIDGET_SHOT to a PNG path to render the message box");
        auto *page = new StyleWidget(QStringLiteral("f8Widget"), m_host);
        page->setGeometry(m_host->rect());
        auto *label = new QLabel(QStringLiteral("我的课程：内科学 第三章 心血管系统"), page);
        label->setObjectName(QStringLiteral("lblUserInfo"));
        label->move(40, 40);
        // Navigation buttons as the main window builds them: no radio indicator may show.
        const QStringList nav = {"btnClass", "btnDownload", "btnUser"};
        for (int i = 0; i < nav.size(); ++i) {
            auto *button = new ImageRadioButton(nav[i], nav[i] + "Hover", nav[i] + "Dis",
                                                nav[i] + "Dis", page);
            button->setGeometry(200 + 120 * i, 520, 60, 60);
            button->setChecked(i == 1);
        }
        auto *check = new QCheckBox(QStringLiteral("全选"), page);
        check->setObjectName(QStringLiteral("ckAll"));
        check->setChecked(true);
        check->move(40, 80);
        for (int i = 0; i < 2; ++i) {
            auto *setting = new QRadioButton(
                i ? QStringLiteral("最小化到托盘") : QStringLiteral("退出程序"), page);
            setting->setObjectName(QStringLiteral("rdSetting"));
            setting->setChecked(i == 0);
            setting->move(140 + 150 * i, 80);
        }
        page->show();
        m_box->raise();
        QTimer::singleShot(0, this, [this, path] {
            QVERIFY(m_host->grab().save(path));
            QTest::mouseClick(m_box->okButton(), Qt::LeftButton);
        });
        m_box->showMessage(QStringLiteral("确定要删除所选的课程吗？删除后需要重新下载。"), 0);
        LoadingWidget loading(m_host);
        loading.setGeometry(m_host->rect());
        loading.show();
        QTest::qWait(100);
        QVERIFY(m_host->grab().save(QString(path).replace(".png", "-loading.png")));
    }

private:
    QWidget *m_host = nullptr;
    XMessageWidget *m_box = nullptr;
};

QTEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
