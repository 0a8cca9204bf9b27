// The user page with its sign-in and registration forms, against the demo service.
#include "ScreenTestKit.h"

#include "api/RequestType.h"
#include "app/AppState.h"
#include "ui/LoginWidget.h"
#include "ui/RegistWidget.h"
#include "ui/UserInfoWidget.h"
#include "ui/UserWidget.h"
#include "widgets/ImageButton.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QUrlQuery>
#include <QtTest>

using namespace ScreenTestKit;

static void typeKeys(QWindow *window, const QString &text)
{
    for (const QChar c : text)
        QTest::keyClick(window, c.toLatin1());
}

class TestSignIn : public QObject
{
    Q_OBJECT

private:
    DemoService m_service;
    std::unique_ptr<Environment> m_env;
    std::unique_ptr<MessageAnswerer> m_answers;
    int m_accountCounter = 0;
    int m_logMark = 0; // requests logged before the current test

    // Requests of this test to one endpoint; the service lives for the whole test case.
    QList<QJsonObject> logged(const QString &endpoint) const
    {
        QList<QJsonObject> result;
        const QList<QJsonObject> all = m_service.requestLog();
        for (int i = m_logMark; i < all.size(); ++i) {
            if (all.at(i).value(QStringLiteral("endpoint")).toString() == endpoint)
                result << all.at(i);
        }
        return result;
    }

    MainWidget *window() { return m_env->window(); }
    UserWidget *page() { return userPage(window()); }
    LoginWidget *login() { return page()->loginForm(); }
    RegistWidget *regist() { return page()->registForm(); }

    // Builds the window and waits for the session id the service binds sign-ins to.
    bool ready()
    {
        if (!window())
            m_env->buildWindow();
        m_answers = std::make_unique<MessageAnswerer>(window());
        m_logMark = m_service.requestLog().size();
        m_env->api()->getSessionId();
        return waitFor([this] { return !m_env->state().user.sid.isEmpty(); });
    }

    QList<QUrlQuery> queries(const QString &endpoint) const
    {
        QList<QUrlQuery> result;
        for (const QJsonObject &entry : logged(endpoint))
            result << QUrlQuery(entry.value(QStringLiteral("query")).toString());
        return result;
    }

    void signIn(const QString &name, const QString &password)
    {
        login()->nameEdit()->setText(name);
        login()->passwordEdit()->setText(password);
        QTest::mouseClick(login()->loginButton(), Qt::LeftButton);
    }

    QString freshAccountName()
    {
        return QStringLiteral("1770000%1").arg(++m_accountCounter, 4, 10, QLatin1Char('0'));
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

    void opensOnSignInForm()
    {
        QVERIFY(ready());
        QCOMPARE(currentPage(window()), 3);
        QVERIFY(login()->isVisible());
        QVERIFY(!regist()->isVisible());
        QVERIFY(!page()->userInfoForm()->isVisible());
        QCOMPARE(login()->nameEdit()->placeholderText(), QStringLiteral("请输入您的手机号"));
        QCOMPARE(login()->passwordEdit()->echoMode(), QLineEdit::Password);
        QCOMPARE(login()->loginButton()->text(), QStringLiteral("登录"));
        QCOMPARE(login()->width(), 400);

        // The links switch between the two forms.
        QTest::mouseClick(login()->registerLink(), Qt::LeftButton);
        QVERIFY(regist()->isVisible());
        QVERIFY(!login()->isVisible());
        QTest::mouseClick(regist()->loginLink(), Qt::LeftButton);
        QVERIFY(login()->isVisible());
        QVERIFY(!regist()->isVisible());
    }

    void restoredUserOpensOnUserInformation()
    {
        m_env->state().signedIn = true;
        QVERIFY(ready());
        QVERIFY(page()->userInfoForm()->isVisible());
        QVERIFY(!login()->isVisible());
    }

    void signInSuccessTrimsAndGreets()
    {
        QVERIFY(ready());
        signIn(QStringLiteral("  13800138000 "), QStringLiteral(" lumra2026  "));
        // Waiting: every control of the form is locked until the answer.
        QCOMPARE(login()->loginButton()->text(), QStringLiteral("正在登录..."));
        QVERIFY(!login()->loginButton()->isEnabled());
        QVERIFY(!login()->nameEdit()->isEnabled());
        QVERIFY(!login()->passwordEdit()->isEnabled());
        QVERIFY(!login()->registerLink()->isEnabled());

        QVERIFY(waitFor([this] { return m_env->state().signedIn; }));
        // The account becomes the app state's user once the service has accepted it.
        QCOMPARE(m_env->state().user.loginName, QStringLiteral("13800138000"));
        QCOMPARE(m_env->state().user.password, QStringLiteral("lumra2026"));
        QCOMPARE(login()->loginButton()->text(), QStringLiteral("登录"));
        QVERIFY(login()->loginButton()->isEnabled());
        QVERIFY(login()->nameEdit()->isEnabled());
        QCOMPARE(greetingButton(window())->text(), QStringLiteral("欢迎您，演示学员"));
        QVERIFY(greetingButton(window())->isVisible());
        QCOMPARE(currentPage(window()), 0);
        QVERIFY(!page()->userInfoForm()->isHidden());
        QVERIFY(login()->isHidden());
        QVERIFY(waitFor([this] { return !logged(QStringLiteral("MyCourseList")).isEmpty(); }));

        const QList<QUrlQuery> sent = queries(QStringLiteral("dologin"));
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.first().queryItemValue(QStringLiteral("username")),
                 QStringLiteral("13800138000"));
        QCOMPARE(sent.first().queryItemValue(QStringLiteral("password")),
                 QStringLiteral("lumra2026"));
        QVERIFY(m_answers->messages().isEmpty());
    }

    void failedSignInAlwaysSaysWhy()
    {
        QVERIFY(ready());
        signIn(QStringLiteral("13800138000"), QStringLiteral("wrong-one"));
        QVERIFY(waitFor([this] { return !m_answers->messages().isEmpty(); }));
        QCOMPARE(m_answers->messages(), QStringList() << QStringLiteral("密码错误，请重新输入"));
        QVERIFY(!m_env->state().signedIn);
        QVERIFY(login()->isVisible());
        QVERIFY(login()->loginButton()->isEnabled());
        QCOMPARE(login()->loginButton()->text(), QStringLiteral("登录"));
        QVERIFY(!greetingButton(window())->isVisible());

        // A reply that is no answer of the service at all (a portal page, a proxy's error)
        // still says something.
        QVERIFY(m_service.setFaults({{QStringLiteral("html"), QStringLiteral("dologin")}}));
        signIn(QStringLiteral("13800138000"), QStringLiteral("lumra2026"));
        QVERIFY(waitFor([this] { return m_answers->messages().size() == 2; }));
        QCOMPARE(m_answers->messages().last(),
                 QStringLiteral("服务器返回了无法识别的内容，请稍后重试"));
        QVERIFY(!m_env->state().signedIn);
        QVERIFY(login()->loginButton()->isEnabled());
        QVERIFY(m_service.clearFaults());
    }

    void emptyFieldsAreRefusedLocally_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("message");
        QTest::newRow("both empty") << QString() << QString() << QStringLiteral("请输入用户名！");
        QTest::newRow("blank name")
            << QStringLiteral("   ") << QStringLiteral("x") << QStringLiteral("请输入用户名！");
        QTest::newRow("no password")
            << QStringLiteral("13800138000") << QString() << QStringLiteral("请输入密码！");
        QTest::newRow("blank password") << QStringLiteral("13800138000") << QStringLiteral("  ")
                                        << QStringLiteral("请输入密码！");
    }

    void emptyFieldsAreRefusedLocally()
    {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(QString, message);
        QVERIFY(ready());
        const int before = logged(QStringLiteral("dologin")).size();
        signIn(name, password);
        QCOMPARE(m_answers->messages(), QStringList() << message);
        QVERIFY(login()->loginButton()->isEnabled());
        QTest::qWait(100);
        QCOMPARE(logged(QStringLiteral("dologin")).size(), before);
    }

    void enterSignsInOnlyFromPasswordField()
    {
        QVERIFY(ready());
        login()->nameEdit()->setText(QStringLiteral("13800138000"));
        login()->passwordEdit()->setText(QStringLiteral("lumra2026"));
        QTest::keyClick(login()->nameEdit(), Qt::Key_Return);
        QTest::qWait(100);
        QVERIFY(login()->loginButton()->isEnabled());
        QVERIFY(logged(QStringLiteral("dologin")).isEmpty());

        QTest::keyClick(login()->passwordEdit(), Qt::Key_Enter);
        QVERIFY(waitFor([this] { return m_env->state().signedIn; }));
        QCOMPARE(logged(QStringLiteral("dologin")).size(), 1);
    }

    // The sign-in by keyboard alone, as a user types it: the form opens in the account field,
    // Enter goes on to the password, a wrong password brings the service's answer in a box
    // that Enter closes (the Enter aimed at the password field behind it sends nothing), and
    // the right password, typed over the wrong one, signs in with Enter.
    void keyboardSignInWrongThenRight()
    {
        QVERIFY(ready());
        m_answers.reset(); // the keyboard answers here
        QWindow *keys = window()->windowHandle();
        window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window()));
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(login()->nameEdit()));
        typeKeys(keys, QStringLiteral("13800138000"));
        QTest::keyClick(keys, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(login()->passwordEdit()));
        QCOMPARE(logged(QStringLiteral("dologin")).size(), 0);
        typeKeys(keys, QStringLiteral("wrong-one"));

        // The answer comes as a question that waits in its own loop: the user's keys are
        // pressed from within it, the way they arrive while it is open.
        XMessageWidget *box = messageBox(window());
        QString asked;
        bool focusInBox = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (!box->isVisible() || !box->okButton()->isVisible() || !asked.isEmpty())
                return;
            asked = box->messageLabel()->text();
            focusInBox = box->isAncestorOf(QApplication::focusWidget());
            // Typing and Enter meant for the password field while the box is open.
            typeKeys(keys, QStringLiteral("zz"));
            QTest::keyClick(login()->passwordEdit(), Qt::Key_Return);
            // Left open (the Enter went elsewhere): closed for the test to go on.
            QTimer::singleShot(1500, box, [box] {
                if (box->isVisible())
                    QTest::mouseClick(box->closeButton(), Qt::LeftButton);
            });
        });
        poll.start(10);
        QTest::keyClick(keys, Qt::Key_Return);
        QVERIFY(waitFor([&] { return !asked.isEmpty() && !box->isVisible(); }));
        poll.stop();
        QTest::qWait(500);
        QCOMPARE(asked, QStringLiteral("密码错误，请重新输入"));
        QVERIFY(focusInBox);
        QCOMPARE(logged(QStringLiteral("dologin")).size(), 1);
        QCOMPARE(login()->passwordEdit()->text(), QStringLiteral("wrong-one"));
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(login()->passwordEdit()));

        QTest::keyClick(keys, Qt::Key_A, Qt::ControlModifier);
        typeKeys(keys, QStringLiteral("lumra2026"));
        QTest::keyClick(keys, Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(waitFor([this] { return m_env->state().signedIn; }));
        QCOMPARE(logged(QStringLiteral("dologin")).size(), 2);
        QVERIFY(!box->isVisible());
    }

    void registrationChecks_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("confirmation");
        QTest::addColumn<QString>("message");
        const QString five(5, QLatin1Char('a'));
        const QString twentyOne(21, QLatin1Char('a'));
        QTest::newRow("empty name") << QString() << QStringLiteral("abcdef")
                                    << QStringLiteral("abcdef") << QStringLiteral("请输入用户名");
        QTest::newRow("blank name")
            << QStringLiteral("  ") << QString() << QString() << QStringLiteral("请输入用户名");
        QTest::newRow("empty password")
            << QStringLiteral("n") << QString() << QString() << QStringLiteral("请输入密码");
        QTest::newRow("empty confirmation") << QStringLiteral("n") << QStringLiteral("abcdef")
                                            << QStringLiteral(" ") << QStringLiteral("请确认密码");
        QTest::newRow("mismatch") << QStringLiteral("n") << QStringLiteral("abcdef")
                                  << QStringLiteral("abcdeg")
                                  << QStringLiteral("两次输入的密码不一样");
        QTest::newRow("mismatch before length")
            << QStringLiteral("n") << five << QStringLiteral("b")
            << QStringLiteral("两次输入的密码不一样");
        QTest::newRow("5 characters")
            << QStringLiteral("n") << five << five << QStringLiteral("密码长度不符合要求");
        QTest::newRow("21 characters") << QStringLiteral("n") << twentyOne << twentyOne
                                       << QStringLiteral("密码长度不符合要求");
        QTest::newRow("blanks do not count")
            << QStringLiteral("n") << QStringLiteral(" abcde ") << QStringLiteral("abcde  ")
            << QStringLiteral("密码长度不符合要求");
    }

    void registrationChecks()
    {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(QString, confirmation);
        QFETCH(QString, message);
        QVERIFY(ready());
        QTest::mouseClick(login()->registerLink(), Qt::LeftButton);
        regist()->nameEdit()->setText(name);
        regist()->passwordEdit()->setText(password);
        regist()->confirmEdit()->setText(confirmation);
        QTest::mouseClick(regist()->registerButton(), Qt::LeftButton);
        QCOMPARE(m_answers->messages(), QStringList() << message);
        QVERIFY(regist()->registerButton()->isEnabled());
        QVERIFY(regist()->isVisible());
        QTest::qWait(50);
        QVERIFY(logged(QStringLiteral("doregister")).isEmpty());
    }

    void registrationAcceptsBoundaryLengths_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("6") << QStringLiteral("abc123");
        QTest::newRow("20") << QStringLiteral("abcdefghij0123456789");
        QTest::newRow("6 inside blanks") << QStringLiteral("  abc123 ");
    }

    void registrationAcceptsBoundaryLengths()
    {
        QFETCH(QString, password);
        QVERIFY(ready());
        const QString name = freshAccountName();
        QTest::mouseClick(login()->registerLink(), Qt::LeftButton);
        regist()->nameEdit()->setText(QLatin1Char(' ') + name + QLatin1Char(' '));
        regist()->passwordEdit()->setText(password);
        regist()->confirmEdit()->setText(password);
        // Enter in a field registers as the button does; pressed again while the answer is on
        // its way it sends nothing more (checked below: one request).
        const bool byKeyboard = QTest::currentDataTag() == QLatin1String("6 inside blanks");
        if (byKeyboard)
            QTest::keyClick(regist()->confirmEdit(), Qt::Key_Return);
        else
            QTest::mouseClick(regist()->registerButton(), Qt::LeftButton);
        if (byKeyboard)
            QTest::keyClick(regist()->passwordEdit(), Qt::Key_Return);

        // Waiting: only the button and the name are locked.
        QCOMPARE(regist()->registerButton()->text(), QStringLiteral("正在请求..."));
        QVERIFY(!regist()->registerButton()->isEnabled());
        QVERIFY(!regist()->nameEdit()->isEnabled());
        QVERIFY(regist()->passwordEdit()->isEnabled());
        QVERIFY(regist()->loginLink()->isEnabled());

        QVERIFY(waitFor([this] { return !m_answers->messages().isEmpty(); }));
        QCOMPARE(m_answers->messages(), QStringList() << QStringLiteral("已成功注册，请登录"));
        QCOMPARE(regist()->registerButton()->text(), QStringLiteral("注册"));
        QVERIFY(regist()->nameEdit()->isEnabled());
        // Back on the sign-in form, which does not take over the typed name.
        QVERIFY(login()->isVisible());
        QVERIFY(regist()->isHidden());
        QVERIFY(login()->nameEdit()->text().isEmpty());

        const QList<QUrlQuery> sent = queries(QStringLiteral("doregister"));
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.first().queryItemValue(QStringLiteral("username")), name);
        QCOMPARE(sent.first().queryItemValue(QStringLiteral("password")), password.trimmed());
        QCOMPARE(sent.first().queryItemValue(QStringLiteral("repassword")), password.trimmed());

        // The new account works.
        signIn(name, password.trimmed());
        QVERIFY(waitFor([this] { return m_env->state().signedIn; }));
    }

    void registrationRefusedShowsServiceText()
    {
        QVERIFY(ready());
        QTest::mouseClick(login()->registerLink(), Qt::LeftButton);
        regist()->nameEdit()->setText(QStringLiteral("13800138000"));
        regist()->passwordEdit()->setText(QStringLiteral("abcdef"));
        regist()->confirmEdit()->setText(QStringLiteral("abcdef"));
        QTest::mouseClick(regist()->registerButton(), Qt::LeftButton);
        QVERIFY(waitFor([this] { return !m_answers->messages().isEmpty(); }));
        QCOMPARE(m_answers->messages(), QStringList() << QStringLiteral("该用户名已被注册"));
        QVERIFY(regist()->isVisible());
        QVERIFY(regist()->registerButton()->isEnabled());
    }

    void signOutFromUserMenu()
    {
        QVERIFY(ready());
        signIn(QStringLiteral("13800138000"), QStringLiteral("lumra2026"));
        QVERIFY(waitFor([this] { return m_env->state().signedIn; }));
        const QList<QAction *> actions = userMenu(window())->actions();
        QAction *exit = nullptr;
        for (QAction *action : actions) {
            if (action->text() == QStringLiteral("退出"))
                exit = action;
        }
        QVERIFY(exit);
        exit->trigger();
        QVERIFY(!m_env->state().signedIn);
        QVERIFY(!greetingButton(window())->isVisible());
        QCOMPARE(currentPage(window()), 3);
        QVERIFY(login()->isVisible());
        QVERIFY(page()->userInfoForm()->isHidden());
    }

    void signOutFromExitButton()
    {
        QVERIFY(ready());
        signIn(QStringLiteral("13800138000"), QStringLiteral("lumra2026"));
        QVERIFY(waitFor([this] { return m_env->state().signedIn; }));
        window()->showUser();
        QVERIFY(page()->userInfoForm()->isVisible());
        QTest::mouseClick(page()->userInfoForm()->exitButton(), Qt::LeftButton);
        QVERIFY(!m_env->state().signedIn);
        QVERIFY(login()->isVisible());
        QVERIFY(page()->userInfoForm()->isHidden());
        QVERIFY(!greetingButton(window())->isVisible());
    }

    void screenshots()
    {
        QVERIFY(ready());
        QCOMPARE(clippedTexts(login()), QStringList());
        QVERIFY(saveScreenshot(window(), QStringLiteral("signin")));
        QTest::mouseClick(login()->registerLink(), Qt::LeftButton);
        QCOMPARE(clippedTexts(regist()), QStringList());
        QVERIFY(saveScreenshot(window(), QStringLiteral("registration")));
    }
};

QTEST_MAIN(TestSignIn)
#include "tst_signin.moc"
