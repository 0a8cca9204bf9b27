// The user information form with its round avatar, the password change overlay and the
// re-login prompt, against the demo service.
#include "ScreenTestKit.h"

#include "api/RequestType.h"
#include "app/AppState.h"
#include "ui/AlterPwdWidget.h"
#include "ui/LoginWidget.h"
#include "ui/ReLoginWidget.h"
#include "ui/UserInfoWidget.h"
#include "ui/UserWidget.h"
#include "widgets/ImageButton.h"

#include <QBuffer>
#include <QFile>
#include <QLineEdit>
#include <QPainter>
#include <QSignalSpy>
#include <QUrlQuery>
#include <QtTest>

using namespace ScreenTestKit;

class TestAccount : public QObject
{
    Q_OBJECT

private:
    DemoService m_service;
    std::unique_ptr<Environment> m_env;
    std::unique_ptr<MessageAnswerer> m_answers;
    int m_accountCounter = 0;

    MainWidget *window() { return m_env->window(); }
    UserInfoWidget *info() { return userPage(window())->userInfoForm(); }
    AlterPwdWidget *alterPwd() { return alterPwdWidget(window()); }

    bool ready()
    {
        m_env->buildWindow();
        m_answers = std::make_unique<MessageAnswerer>(window());
        m_env->api()->getSessionId();
        return waitFor([this] { return !m_env->state().user.sid.isEmpty(); });
    }

    bool signIn(const QString &name, const QString &password)
    {
        LoginWidget *login = userPage(window())->loginForm();
        login->nameEdit()->setText(name);
        login->passwordEdit()->setText(password);
        QTest::mouseClick(login->loginButton(), Qt::LeftButton);
        return waitFor([this] { return m_env->state().signedIn; });
    }

    // A fresh account of the demo service, so a password change touches no other test.
    QString registerAccount(const QString &password)
    {
        const QString name =
            QStringLiteral("1660000%1").arg(++m_accountCounter, 4, 10, QLatin1Char('0'));
        QSignalSpy spy(m_env->api(), &APIHandler::HttpResponseSignal);
        m_env->state().user.loginName = name;
        m_env->state().user.password = password;
        m_env->api()->registerUser();
        const bool done = waitFor([&spy] {
            for (const QList<QVariant> &call : spy) {
                if (call.at(0).toInt() == ReqRegister)
                    return call.at(1).toInt() == 1;
            }
            return false;
        });
        m_answers->clear();
        return done ? name : QString();
    }

    void fillPasswords(const QString &oldPassword, const QString &newPassword,
                       const QString &confirmation)
    {
        alterPwd()->oldEdit()->setText(oldPassword);
        alterPwd()->newEdit()->setText(newPassword);
        alterPwd()->confirmEdit()->setText(confirmation);
    }

    static QPixmap twoColourPicture(int width, int height)
    {
        QPixmap picture(width, height);
        picture.fill(Qt::red);
        QPainter painter(&picture);
        painter.fillRect(0, 0, width / 2, height, Qt::blue);
        return picture;
    }

    // The avatar as the window shows it, at a point of the picture's background (the
    // service's pictures are orange for odd account ids, blue for even ones).
    QColor avatarOnScreen()
    {
        window()->repaint();
        const QImage shot = window()->grab().toImage();
        return shot.pixelColor(info()->avatarLabel()->mapTo(window(), QPoint(8, 35)));
    }

    static bool isOrange(const QColor &c) { return c.red() > c.blue() + 80; }
    static bool isBlue(const QColor &c) { return c.blue() > c.red() + 80; }

    bool avatarFileIsPicture() const { return !QImage(m_env->state().avatarPath).isNull(); }

    void signOutThroughExitButton()
    {
        window()->showUser();
        QTest::mouseClick(info()->exitButton(), Qt::LeftButton);
    }

    void writePicture(const QString &path, const QPixmap &picture)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(picture.save(&file, "JPG"));
    }

private slots:
    void initTestCase()
    {
        applyTheme();
        QString error;
        QVERIFY2(startDemo(m_service, &error), qPrintable(error));
    }

    void init() { m_env = std::make_unique<Environment>(); }

    void cleanup()
    {
        m_answers.reset();
        m_env.reset();
    }

    void circularPicture()
    {
        QVERIFY(UserInfoWidget::circularPixmap(QPixmap(), 35).isNull());

        // A wide picture is squeezed into the square, not cropped: both halves stay.
        const QImage round =
            UserInfoWidget::circularPixmap(twoColourPicture(200, 100), 35).toImage();
        QCOMPARE(round.size(), QSize(70, 70));
        QCOMPARE(round.pixelColor(0, 0).alpha(), 0);
        QCOMPARE(round.pixelColor(69, 69).alpha(), 0);
        QCOMPARE(round.pixelColor(69, 0).alpha(), 0);
        QCOMPARE(round.pixelColor(20, 35), QColor(Qt::blue));
        QCOMPARE(round.pixelColor(50, 35), QColor(Qt::red));
        // The circle reaches the middle of each edge.
        QCOMPARE(round.pixelColor(35, 1).alpha(), 255);
        QCOMPARE(round.pixelColor(1, 35).alpha(), 255);
    }

    void signedInUserIsShownWithAvatar()
    {
        QVERIFY(ready());
        QCOMPARE(info()->accountLabel()->text(), QStringLiteral("手机"));
        QVERIFY(info()->avatarLabel()->isHidden());
        QVERIFY(info()->nicknameLabel()->isHidden());

        QVERIFY(signIn(QStringLiteral("13800138000"), QStringLiteral("lumra2026")));
        // The avatar arrives after the sign-in, while the courses page shows.
        const QString avatar = m_env->state().avatarPath;
        QVERIFY(avatar.endsWith(QStringLiteral("/13800138000/13800138000.jpg")));
        QVERIFY(waitFor([&avatar] { return QFileInfo(avatar).size() > 0; }));

        window()->showUser();
        QVERIFY(info()->isVisible());
        QCOMPARE(info()->accountLabel()->text(), QStringLiteral("手机：13800138000"));
        QCOMPARE(info()->nicknameLabel()->text(), QStringLiteral("演示学员"));
        QVERIFY(info()->nicknameLabel()->isVisible());
        QVERIFY(info()->avatarLabel()->isVisible());
        QVERIFY(!info()->avatarLabel()->pixmap(Qt::ReturnByValue).isNull());
        QCOMPARE(info()->avatarLabel()->size(), QSize(70, 70));

        // Both stay centred when the window changes size.
        for (const QSize &size : {QSize(800, 600), QSize(1210, 720), QSize(933, 640)}) {
            window()->resize(size);
            QTest::qWait(30);
            window()->repaint();
            QCOMPARE(info()->avatarLabel()->pos(), QPoint((info()->width() - 70) / 2, 80));
            QCOMPARE(info()->nicknameLabel()->pos(),
                     QPoint((info()->width() - info()->nicknameLabel()->width()) / 2, 160));
        }
        QVERIFY(saveScreenshot(window(), QStringLiteral("userinfo")));
    }

    void avatarFollowsItsFileAndRetriesMissingOne()
    {
        QVERIFY(ready());
        const QString folder = m_env->state().userDir + QStringLiteral("/someone");
        QDir().mkpath(folder);
        m_env->state().avatarPath = folder + QStringLiteral("/someone.jpg");
        m_env->state().user.loginName = QStringLiteral("someone");
        m_env->state().user.nickname = QString();
        m_env->state().signedIn = true;
        emit m_env->api()->HttpResponseSignal(ReqLogin, 1);
        window()->showUser();
        QVERIFY(info()->isVisible());
        // An empty nickname gives an empty label of no width; the account still shows.
        QCOMPARE(info()->nicknameLabel()->width(), 0);
        QCOMPARE(info()->accountLabel()->text(), QStringLiteral("手机：someone"));
        // No file yet, then a file that is no picture: the default picture shows.
        const QImage defaultPicture =
            UserInfoWidget::circularPixmap(UserInfoWidget::defaultAvatar(), 35).toImage();
        QCOMPARE(info()->avatarLabel()->pixmap(Qt::ReturnByValue).toImage(), defaultPicture);
        {
            QFile junk(m_env->state().avatarPath);
            QVERIFY(junk.open(QIODevice::WriteOnly));
            junk.write("<html>not a picture</html>");
        }
        info()->hide();
        info()->show();
        QCOMPARE(info()->avatarLabel()->pixmap(Qt::ReturnByValue).toImage(), defaultPicture);

        // The next showing finds a real picture.
        writePicture(m_env->state().avatarPath, twoColourPicture(40, 40));
        info()->hide();
        info()->show();
        const QImage first = info()->avatarLabel()->pixmap(Qt::ReturnByValue).toImage();
        QCOMPARE(first.size(), QSize(70, 70));

        // A newer picture of the same student replaces it at the next showing.
        QPixmap green(40, 40);
        green.fill(Qt::green);
        writePicture(m_env->state().avatarPath, green);
        info()->hide();
        info()->show();
        QVERIFY(info()->avatarLabel()->pixmap(Qt::ReturnByValue).toImage() != first);
    }

    // Two students share one computer: the second sees neither the first one's picture nor
    // a password that would sign the first one in again.
    void studentsTakeTurnsAtOneComputer()
    {
        QVERIFY(ready());
        QVERIFY(signIn(QStringLiteral("13800138000"), QStringLiteral("lumra2026")));
        QVERIFY(waitFor([this] { return avatarFileIsPicture(); }));
        window()->showUser();
        const QColor first = avatarOnScreen();
        QVERIFY2(isOrange(first), qPrintable(first.name()));

        signOutThroughExitButton();
        LoginWidget *login = userPage(window())->loginForm();
        QVERIFY(login->isVisible());
        QCOMPARE(login->passwordEdit()->text(), QString());
        QTest::mouseClick(login->loginButton(), Qt::LeftButton);
        QCOMPARE(m_answers->messages(), QStringList() << QStringLiteral("请输入密码！"));
        QVERIFY(!m_env->state().signedIn);

        QVERIFY(signIn(QStringLiteral("13900139000"), QStringLiteral("lumra2027")));
        QVERIFY(waitFor([this] { return avatarFileIsPicture(); }));
        window()->showUser();
        const QColor second = avatarOnScreen();
        QVERIFY2(isBlue(second), qPrintable(second.name()));
        QVERIFY(saveScreenshot(window(), QStringLiteral("userinfo-second-student")));
    }

    // A picture reply is kept only for the student who asked, and only when it is a picture.
    void avatarRepliesStayWithTheStudentWhoAsked()
    {
        QVERIFY(ready());
        AppState &state = m_env->state();
        // The first student's picture is slow; the second sits down before it arrives.
        QVERIFY(m_service.setFaults({{QStringLiteral("latency"), QStringLiteral("1500")}}));
        QVERIFY(signIn(QStringLiteral("13800138000"), QStringLiteral("lumra2026")));
        const QString firstPath = state.avatarPath;
        QTest::qWait(300); // the picture request is on its way, with the same delay
        QVERIFY(m_service.clearFaults());
        const int asked = m_service.requestLog(QStringLiteral("avatar")).size();
        signOutThroughExitButton();
        QVERIFY(signIn(QStringLiteral("13900139000"), QStringLiteral("lumra2027")));
        const QString secondPath = state.avatarPath;
        QVERIFY(waitFor([this, asked] {
            return m_service.requestLog(QStringLiteral("avatar")).size() >= asked + 2;
        }));
        QTest::qWait(200);
        QVERIFY(isBlue(QImage(secondPath).pixelColor(8, 64)));
        window()->showUser();
        QVERIFY2(isBlue(avatarOnScreen()), qPrintable(avatarOnScreen().name()));
        QVERIFY(!QFileInfo::exists(firstPath) || isOrange(QImage(firstPath).pixelColor(8, 64)));

        // An error page instead of a picture is not kept, so the next sign-in asks again.
        signOutThroughExitButton();
        const QString name = registerAccount(QStringLiteral("third3"));
        QVERIFY(!name.isEmpty());
        QVERIFY(m_service.setFaults({{QStringLiteral("html"), QStringLiteral("avatar")}}));
        const int before = m_service.requestLog(QStringLiteral("avatar")).size();
        QVERIFY(signIn(name, QStringLiteral("third3")));
        QVERIFY(waitFor([this, before] {
            return m_service.requestLog(QStringLiteral("avatar")).size() > before;
        }));
        QTest::qWait(200);
        QVERIFY(!QFileInfo::exists(state.avatarPath));
        window()->showUser();
        QCOMPARE(info()->avatarLabel()->pixmap(Qt::ReturnByValue).toImage(),
                 UserInfoWidget::circularPixmap(UserInfoWidget::defaultAvatar(), 35).toImage());
        signOutThroughExitButton();
        QVERIFY(m_service.clearFaults());
        QVERIFY(signIn(name, QStringLiteral("third3")));
        QVERIFY(waitFor([this] { return avatarFileIsPicture(); }));
        window()->showUser();
        const QColor third = avatarOnScreen();
        QVERIFY2(isOrange(third) || isBlue(third), qPrintable(third.name()));
    }

    // The account page fits the 800×600 window with the navigation bar in view.
    void accountPagesFitTheSmallWindow()
    {
        QVERIFY(ready());
        window()->resize(800, 600);
        QVERIFY(signIn(QStringLiteral("13800138000"), QStringLiteral("lumra2026")));
        window()->showUser();
        QTest::qWait(50);
        QCOMPARE(window()->size(), QSize(800, 600));
        QWidget *navigation = window()->findChild<QWidget *>(QStringLiteral("NavigatWidget"));
        QVERIFY(navigation && navigation->isVisible());
        QVERIFY(window()->rect().contains(
            QRect(navigation->mapTo(window(), QPoint(0, 0)), navigation->size())));
        // Nothing of the form is covered by the avatar or the nickname.
        QVERIFY(info()->nicknameLabel()->geometry().bottom()
                < info()->accountLabel()->mapTo(info(), QPoint(0, 0)).y());
        QCOMPARE(clippedTexts(info()), QStringList());
        QVERIFY(saveScreenshot(window(), QStringLiteral("userinfo-800x600")));
    }

    void passwordChecks_data()
    {
        QTest::addColumn<QString>("oldPassword");
        QTest::addColumn<QString>("newPassword");
        QTest::addColumn<QString>("confirmation");
        QTest::addColumn<QString>("message");
        const QString five(5, QLatin1Char('a'));
        const QString twentyOne(21, QLatin1Char('a'));
        QTest::newRow("all empty")
            << QString() << QString() << QString() << QStringLiteral("请输入原密码");
        QTest::newRow("blank old") << QStringLiteral("   ") << QStringLiteral("abcdef")
                                   << QStringLiteral("abcdef") << QStringLiteral("请输入原密码");
        QTest::newRow("empty new") << QStringLiteral("old") << QString() << QStringLiteral("abcdef")
                                   << QStringLiteral("请输入新密码");
        QTest::newRow("empty confirmation") << QStringLiteral("old") << QStringLiteral("abcdef")
                                            << QString() << QStringLiteral("请确认新密码");
        QTest::newRow("mismatch") << QStringLiteral("old") << QStringLiteral("abcdef")
                                  << QStringLiteral("abcdeF")
                                  << QStringLiteral("两次输入的新密码不一样");
        QTest::newRow("mismatch before length") << QStringLiteral("old") << five << twentyOne
                                                << QStringLiteral("两次输入的新密码不一样");
        QTest::newRow("5") << QStringLiteral("old") << five << five
                           << QStringLiteral("密码长度不符合要求");
        QTest::newRow("21") << QStringLiteral("old") << twentyOne << twentyOne
                            << QStringLiteral("密码长度不符合要求");
        QTest::newRow("blanks trimmed first")
            << QStringLiteral("old") << QStringLiteral("  abcde  ") << QStringLiteral("abcde ")
            << QStringLiteral("密码长度不符合要求");
    }

    void passwordChecks()
    {
        QFETCH(QString, oldPassword);
        QFETCH(QString, newPassword);
        QFETCH(QString, confirmation);
        QFETCH(QString, message);
        QVERIFY(ready());
        window()->setPasswordDialogVisible(true);
        QVERIFY(alterPwd()->isVisible());
        const int before = m_service.requestLog(QStringLiteral("doforget")).size();
        fillPasswords(oldPassword, newPassword, confirmation);
        QTest::mouseClick(alterPwd()->saveButton(), Qt::LeftButton);
        QCOMPARE(m_answers->messages(), QStringList() << message);
        QVERIFY(alterPwd()->saveButton()->isEnabled());
        QVERIFY(alterPwd()->isVisible());
        QTest::qWait(50);
        QCOMPARE(m_service.requestLog(QStringLiteral("doforget")).size(), before);
    }

    void passwordChangeThenReLogin_data()
    {
        QTest::addColumn<QString>("newPassword");
        QTest::newRow("6") << QStringLiteral("new123");
        QTest::newRow("20") << QStringLiteral("n1234567890123456789");
    }

    void passwordChangeThenReLogin()
    {
        QFETCH(QString, newPassword);
        QVERIFY(ready());
        const QString name = registerAccount(QStringLiteral("first1"));
        QVERIFY(!name.isEmpty());
        QVERIFY(signIn(name, QStringLiteral("first1")));
        window()->showUser();

        QTest::mouseClick(info()->passwordButton(), Qt::LeftButton);
        QVERIFY(alterPwd()->isVisible());
        QCOMPARE(alterPwd()->saveButton()->text(), QStringLiteral("保存"));
        fillPasswords(QStringLiteral(" first1 "), QLatin1Char(' ') + newPassword,
                      newPassword + QLatin1Char(' '));
        const int asked = m_service.requestLog(QStringLiteral("doforget")).size();
        // Enter in a field saves as the button does; pressed again while the answer is on its
        // way it sends nothing more.
        const bool byKeyboard = QTest::currentDataTag() == QLatin1String("20");
        if (byKeyboard)
            QTest::keyClick(alterPwd()->confirmEdit(), Qt::Key_Return);
        else
            QTest::mouseClick(alterPwd()->saveButton(), Qt::LeftButton);
        QCOMPARE(alterPwd()->saveButton()->text(), QStringLiteral("正在请求..."));
        QVERIFY(!alterPwd()->saveButton()->isEnabled());
        if (byKeyboard)
            QTest::keyClick(alterPwd()->newEdit(), Qt::Key_Return);
        QCOMPARE(m_env->state().user.password, QStringLiteral("first1"));

        QVERIFY(waitFor([this] { return reLoginWidget(window())->isVisible(); }));
        QVERIFY(alterPwd()->isHidden());
        QCOMPARE(alterPwd()->saveButton()->text(), QStringLiteral("保存"));
        QVERIFY(alterPwd()->saveButton()->isEnabled());
        QVERIFY(alterPwd()->oldEdit()->text().isEmpty());
        QVERIFY(alterPwd()->newEdit()->text().isEmpty());
        QVERIFY(m_answers->messages().isEmpty());

        QCOMPARE(m_service.requestLog(QStringLiteral("doforget")).size(), asked + 1);
        const QUrlQuery sent(m_service.requestLog(QStringLiteral("doforget"))
                                 .last()
                                 .value(QStringLiteral("query"))
                                 .toString());
        QCOMPARE(sent.queryItemValue(QStringLiteral("username")), name);
        QCOMPARE(sent.queryItemValue(QStringLiteral("old_pwd")), QStringLiteral("first1"));
        QCOMPARE(sent.queryItemValue(QStringLiteral("new_pwd")), newPassword);
        QCOMPARE(sent.queryItemValue(QStringLiteral("new_repwd")), newPassword);

        if (QTest::currentDataTag() == QLatin1String("6"))
            QVERIFY(saveScreenshot(window(), QStringLiteral("relogin")));

        // The prompt signs out and leads back to the sign-in form.
        QTest::mouseClick(reLoginWidget(window())->reLoginButton(), Qt::LeftButton);
        QVERIFY(!m_env->state().signedIn);
        QVERIFY(reLoginWidget(window())->isHidden());
        QVERIFY(userPage(window())->loginForm()->isVisible());
        QCOMPARE(currentPage(window()), 3);

        // Only the new password opens the account now.
        QVERIFY(signIn(name, newPassword));
    }

    void refusedPasswordChangeShowsServiceText()
    {
        QVERIFY(ready());
        QVERIFY(signIn(QStringLiteral("13800138000"), QStringLiteral("lumra2026")));
        window()->setPasswordDialogVisible(true);
        fillPasswords(QStringLiteral("not-the-old"), QStringLiteral("abcdef"),
                      QStringLiteral("abcdef"));
        QTest::mouseClick(alterPwd()->saveButton(), Qt::LeftButton);
        QVERIFY(waitFor([this] { return !m_answers->messages().isEmpty(); }));
        QCOMPARE(m_answers->messages(), QStringList() << QStringLiteral("原密码错误"));
        // The overlay stays, emptied and ready again; no re-login prompt.
        QVERIFY(alterPwd()->isVisible());
        QVERIFY(alterPwd()->oldEdit()->text().isEmpty());
        QVERIFY(alterPwd()->saveButton()->isEnabled());
        QVERIFY(reLoginWidget(window())->isHidden());
        QVERIFY(m_env->state().signedIn);
    }

    void reopeningClearsTheForm()
    {
        QVERIFY(ready());
        window()->setPasswordDialogVisible(true);
        fillPasswords(QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"));
        window()->setPasswordDialogVisible(false);
        window()->setPasswordDialogVisible(true);
        QVERIFY(alterPwd()->oldEdit()->text().isEmpty());
        QVERIFY(alterPwd()->newEdit()->text().isEmpty());
        QVERIFY(alterPwd()->confirmEdit()->text().isEmpty());
        QCOMPARE(clippedTexts(alterPwd()), QStringList());
        fillPasswords(QStringLiteral("lumra2026"), QStringLiteral("new-pass"),
                      QStringLiteral("new-pass"));
        QVERIFY(saveScreenshot(window(), QStringLiteral("alterpwd")));
    }
};

QTEST_MAIN(TestAccount)
#include "tst_account.moc"
