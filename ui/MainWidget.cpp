#include "ui/MainWidget.h"

#include "api/APIHandler.h"
#include "api/LearningProgress.h"
#include "api/NetworkErrorText.h"
#include "api/RequestType.h"
#include "api/ServiceSettings.h"
#include "app/Accessors.h"
#include "app/AppInfo.h"
#include "app/AppState.h"
#include "app/Log.h"
#include "app/Quit.h"
#include "app/SettingKeys.h"
#include "app/Settings.h"
#include "download/DownloadPathSettingWidget.h"
#include "download/DownloadWidget.h"
#include "model/Course.h"
#include "player/ToggleHostWidget.h"
#include "ui/AboutWidget.h"
#include "ui/AlterPwdWidget.h"
#include "ui/CoursewarePage.h"
#include "ui/LoginWidget.h"
#include "ui/MyCourseInfoWidget.h"
#include "ui/MyCourseWidget.h"
#include "ui/ReLoginWidget.h"
#include "ui/SettingWidget.h"
#include "ui/ShutdownWidget.h"
#include "ui/UpdateWidget.h"
#include "ui/UserWidget.h"
#include "widgets/ColorHLine.h"
#include "widgets/ImageButton.h"
#include "widgets/ImageCheckButton.h"
#include "widgets/ImageLabel.h"
#include "widgets/ImageRadioButton.h"
#include "widgets/LoadingWidget.h"
#include "widgets/StyleButton.h"
#include "widgets/StyleWidget.h"
#include "widgets/XMessageWidget.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QStackedLayout>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr int kTitleHeight = 50;
constexpr int kBannerHeight = 35;
// What the service answers to a request made with a session it no longer knows.

bool sessionExpired(int result, const QVariant &info)
{
    return !result && info.toString() == sessionExpiredText();
}

QWidget *styledArea(const QString &objectName, QWidget *parent)
{
    auto *widget = new QWidget(parent);
    widget->setObjectName(objectName);
    widget->setAttribute(Qt::WA_StyledBackground);
    return widget;
}

} // namespace

MainWidget::MainWidget(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint
                          | Qt::WindowMaximizeButtonHint)
{
    setWindowTitle(AppInfo::displayName());
    setAttribute(Qt::WA_TranslucentBackground);
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (screen)
        setGeometry(windowGeometryFor(screen->availableGeometry()));
    else
        resize(windowSizeFor(0));

    m_mainLayout = new QVBoxLayout(this);
    m_mainLayout->setContentsMargins(m_shadowWidth, m_shadowWidth, m_shadowWidth, m_shadowWidth);
    m_mainLayout->setSpacing(0);

    QWidget *content = styledArea(QStringLiteral("f8Widget"), this);
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(buildTitleBar());
    column->addWidget(new ColorHLine(QStringLiteral("#e0e0e0"), 1, content));
    QWidget *pageArea = styledArea(QStringLiteral("f8Widget"), content);
    m_pages = new QStackedLayout(pageArea);
    m_pages->setObjectName(QStringLiteral("stackPages"));
    m_myCourses = new MyCourseWidget(pageArea);
    m_courseInfo = new MyCourseInfoWidget(pageArea);
    m_downloads = new DownloadWidget(pageArea);
    m_userPage = new UserWidget(pageArea);
    m_lessonPage = new CoursewarePage(pageArea);
    m_pages->addWidget(m_myCourses);
    m_pages->addWidget(m_courseInfo);
    m_pages->addWidget(m_downloads);
    m_pages->addWidget(m_userPage);
    m_pages->addWidget(m_lessonPage);
    column->addWidget(pageArea, 1);
    column->addWidget(new ColorHLine(QStringLiteral("#e0e0e0"), 1, content));
    column->addWidget(buildNavigationBar());

    // Overlays are stacked over the content; all of them start hidden.
    m_about = new AboutWidget(this);
    m_update = new UpdateWidget(this);
    m_setting = new SettingWidget(this);
    m_loading = new LoadingWidget(this);
    m_messageBox = new XMessageWidget(this);
    m_alterPwd = new AlterPwdWidget(this);
    m_reLogin = new ReLoginWidget(this);
    m_shutdown = new ShutdownWidget(this);
    m_downloadPath = new DownloadPathSettingWidget(this);
    m_toggleHost = new ToggleHostWidget(this);
    auto *stack = new QStackedLayout;
    stack->setStackingMode(QStackedLayout::StackAll);
    const QList<QWidget *> overlays{m_messageBox,   m_loading,   m_setting, m_about,
                                    m_update,       m_alterPwd,  m_reLogin, m_shutdown,
                                    m_downloadPath, m_toggleHost};
    for (QWidget *overlay : overlays)
        stack->addWidget(overlay);
    stack->addWidget(content);
    m_mainLayout->addLayout(stack);
    for (QWidget *overlay : overlays)
        overlay->hide();
    stack->setCurrentWidget(content);

    buildBanner();
    buildMenus();

    m_trayIcon = new QSystemTrayIcon(QIcon(QStringLiteral(":/pexil/pexil/16_16.png")), this);
    m_trayIcon->setToolTip(AppInfo::displayName());
    m_trayIcon->setContextMenu(m_trayMenu);
    m_trayIcon->show();
    connect(m_trayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger)
                    restore();
            });

    connect(m_closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(m_minButton, &QPushButton::clicked, this, &MainWidget::onMinimiseClicked);
    connect(m_maxButton, &QPushButton::clicked, this, &MainWidget::toggleMaximise);
    connect(m_menuButton, &QPushButton::clicked, this,
            [this] { popUpMenu(m_mainMenu, m_menuButton); });
    connect(m_greetingButton, &QPushButton::clicked, this,
            [this] { popUpMenu(m_userMenu, m_greetingButton); });
    connect(m_classButton, &QAbstractButton::clicked, this, &MainWidget::showCourses);
    connect(m_downloadButton, &QAbstractButton::clicked, this, &MainWidget::showDownloads);
    connect(m_userButton, &QAbstractButton::clicked, this, &MainWidget::showUser);
    connect(m_lessonPage, &CoursewarePage::DownloadCoursewareRemovedSignal, m_downloads,
            &DownloadWidget::refreshCached);
    connectService();

    showUser();
}

MainWidget::~MainWidget() = default;

QSize MainWidget::windowSizeFor(int availableWidth)
{
    return availableWidth < 1211 ? QSize(800, 600) : QSize(1210, 720);
}

QRect MainWidget::windowGeometryFor(const QRect &available)
{
    // A panel or a large text scale can leave less than 600 pixels: the window then takes
    // the height there is (its pages scroll) rather than running off the screen.
    const QSize size = windowSizeFor(available.width()).boundedTo(available.size());
    QRect geometry(QPoint(0, 0), size);
    geometry.moveCenter(available.center());
    return geometry;
}

QWidget *MainWidget::buildTitleBar()
{
    auto *bar = new StyleWidget(QStringLiteral("TitleWidget"), this);
    bar->setFixedHeight(kTitleHeight);
    auto *logo = new ImageLabel(QStringLiteral("logo"), bar);
    logo->setFixedSize(139, 34);
    m_greetingButton = new StyleButton(QStringLiteral("欢迎您"), QStringLiteral("btnControl"), bar);
    m_greetingButton->hide();
    m_menuButton = new StyleButton(QStringLiteral("菜单"), QStringLiteral("btnTitle"), bar);
    m_minButton = new ImageButton(QStringLiteral("min"), QStringLiteral("min_h"), bar);
    m_minButton->setFixedSize(30, 30);
    m_maxButton = new ImageCheckButton(QStringLiteral("max"), QStringLiteral("max_h"),
                                       QStringLiteral("normal"), QStringLiteral("normal_h"), bar);
    m_maxButton->setFixedSize(30, 30);
    m_closeButton = new ImageButton(QStringLiteral("close"), QStringLiteral("close_h"), bar);
    // Names for tests that look the buttons up; no stylesheet rule uses them.
    m_minButton->setObjectName(QStringLiteral("btnMin"));
    m_maxButton->setObjectName(QStringLiteral("btnMax"));
    m_closeButton->setObjectName(QStringLiteral("btnClose"));
    m_closeButton->setFixedSize(30, 30);

    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addSpacing(20);
    row->addWidget(logo);
    row->addStretch();
    row->addWidget(m_greetingButton);
    row->addSpacing(15);
    row->addWidget(m_menuButton);
    row->addSpacing(15);
    row->addWidget(m_minButton);
    row->addWidget(m_maxButton);
    row->addWidget(m_closeButton);
    row->addSpacing(20);
    return bar;
}

QWidget *MainWidget::buildNavigationBar()
{
    QWidget *bar = styledArea(QStringLiteral("NavigatWidget"), this);
    bar->setFixedHeight(60);
    m_classButton =
        new ImageRadioButton(QStringLiteral("btnClass"), QStringLiteral("btnClassHover"),
                             QStringLiteral("btnClassDis"), QStringLiteral("btnClassDis"), bar);
    m_downloadButton = new ImageRadioButton(
        QStringLiteral("btnDownload"), QStringLiteral("btnDownloadHover"),
        QStringLiteral("btnDownloadDis"), QStringLiteral("btnDownloadDis"), bar);
    m_userButton =
        new ImageRadioButton(QStringLiteral("btnUser"), QStringLiteral("btnUserHover"),
                             QStringLiteral("btnUserDis"), QStringLiteral("btnUserDis"), bar);
    for (ImageRadioButton *button : {m_classButton, m_downloadButton, m_userButton})
        button->setFixedSize(60, 60);
    m_classButton->setObjectName(QStringLiteral("btnNavClass"));
    m_downloadButton->setObjectName(QStringLiteral("btnNavDownload"));
    m_userButton->setObjectName(QStringLiteral("btnNavUser"));

    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    row->addStretch(2);
    row->addWidget(m_classButton);
    row->addStretch(1);
    row->addWidget(m_downloadButton);
    row->addStretch(1);
    row->addWidget(m_userButton);
    row->addStretch(2);
    return bar;
}

QWidget *MainWidget::buildBanner()
{
    m_banner = styledArea(QStringLiteral("Banner"), this);
    m_banner->setFixedHeight(0);
    auto *text = new QLabel(QStringLiteral("新版本已下载，是否现在安装？"), m_banner);
    text->setObjectName(QStringLiteral("progress"));
    auto *install = new StyleButton(QStringLiteral("安装"), QStringLiteral("btnBanner"), m_banner);
    install->setFixedSize(55, 18);
    auto *close = new ImageButton(QStringLiteral("p_close"), QStringLiteral("p_close"), m_banner);
    close->setFixedSize(12, 12);
    auto *row = new QHBoxLayout(m_banner);
    row->setContentsMargins(15, 0, 15, 0);
    row->addStretch();
    row->addWidget(text);
    row->addSpacing(10);
    row->addWidget(install);
    row->addStretch();
    row->addWidget(close);
    connect(install, &QPushButton::clicked, this, &MainWidget::installUpdate);
    connect(close, &QPushButton::clicked, this, [this] { m_banner->setFixedHeight(0); });
    return m_banner;
}

void MainWidget::buildMenus()
{
    m_mainMenu = new QMenu(this);
    m_mainMenu->setObjectName(QStringLiteral("menuMain"));
    QAction *lines = m_mainMenu->addAction(QStringLiteral("切换线路"));
    QAction *settings = m_mainMenu->addAction(QStringLiteral("设置"));
    connect(lines, &QAction::triggered, this, [this] { showOverlay(m_toggleHost); });
    connect(settings, &QAction::triggered, this, [this] { showOverlay(m_setting); });
    m_mainMenu->addSeparator();
    m_helpMenu = m_mainMenu->addMenu(QStringLiteral("帮助"));
    connect(m_helpMenu->addAction(QStringLiteral("官方网站")), &QAction::triggered, this,
            [this] { openAddress(siteAddress()); });
    m_helpMenu->addSeparator();
    connect(m_helpMenu->addAction(QStringLiteral("意见反馈")), &QAction::triggered, this,
            [this] { openAddress(feedbackAddress()); });
    m_helpMenu->addSeparator();
    connect(m_helpMenu->addAction(QStringLiteral("关于")), &QAction::triggered, this,
            [this] { showOverlay(m_about); });
    m_helpMenu->addSeparator();
    connect(m_helpMenu->addAction(QStringLiteral("检查新版本")), &QAction::triggered, this,
            [this] { showOverlay(m_update); });
    m_helpMenu->addSeparator();
    connect(m_helpMenu->addAction(QStringLiteral("使用帮助")), &QAction::triggered, this,
            [this] { openAddress(siteAddress() + QStringLiteral("/help/index/from/pc")); });

    m_userMenu = new QMenu(this);
    m_userMenu->setObjectName(QStringLiteral("menuUser"));
    connect(m_userMenu->addAction(QStringLiteral("个人中心")), &QAction::triggered, this,
            &MainWidget::showUser);
    m_userMenu->addSeparator();
    connect(m_userMenu->addAction(QStringLiteral("退出")), &QAction::triggered, this, [] {
        if (APIHandler *api = apiHandler())
            api->signOut();
    });

    m_trayMenu = new QMenu(this);
    connect(m_trayMenu->addAction(QStringLiteral("显示")), &QAction::triggered, this,
            &MainWidget::restore);
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(settings);
    m_trayMenu->addSeparator();
    connect(m_trayMenu->addAction(QStringLiteral("退出")), &QAction::triggered, this,
            &quitApplication);
    // When the close button only hides the window and there is no tray to bring it back
    // from, the program must still be quit from its own window: the main menu offers the
    // tray menu's 退出 then.
    m_quitSeparator = new QAction(this);
    m_quitSeparator->setSeparator(true);
    m_quitAction = new QAction(QStringLiteral("退出"), this);
    connect(m_quitAction, &QAction::triggered, this, &quitApplication);
    connect(m_mainMenu, &QMenu::aboutToShow, this, &MainWidget::updateQuitEntry);
}

void MainWidget::updateQuitEntry()
{
    const bool closeHides = Settings::isOn(appState() ? appState()->settings.get() : nullptr,
                                           SettingKeys::ClosePosition);
    const bool needed = closeHides && !trayAvailable();
    const bool shown = m_mainMenu->actions().contains(m_quitAction);
    if (needed && !shown) {
        m_mainMenu->addAction(m_quitSeparator);
        m_mainMenu->addAction(m_quitAction);
    } else if (!needed && shown) {
        m_mainMenu->removeAction(m_quitSeparator);
        m_mainMenu->removeAction(m_quitAction);
    }
}

void MainWidget::connectService()
{
    if (APIHandler *api = apiHandler())
        connect(api, &APIHandler::HttpResponseSignal, this, &MainWidget::onHttpResponse);
}

QString MainWidget::siteAddress() const
{
    return QStringLiteral("http://") + ServiceSettings::webHost();
}

QString MainWidget::feedbackAddress() const
{
    const AppState *state = appState();
    QString uid = state ? state->user.uid : QString();
    if (uid.isEmpty())
        uid = QStringLiteral("1");
    return siteAddress() + QStringLiteral("/suggest/index/feedback_type/1/is_from/5/uid/") + uid
           + QStringLiteral("/version/") + AppInfo::programVersion();
}

void MainWidget::openAddress(const QString &address)
{
    const QUrl url(address, QUrl::TolerantMode);
    if (m_urlOpener)
        m_urlOpener(url);
    else
        QDesktopServices::openUrl(url);
}

void MainWidget::popUpMenu(QMenu *menu, QWidget *button)
{
    menu->popup(mapToGlobal(button->pos()) + QPoint(0, 45));
}

// ---- services for the screens --------------------------------------------------------

void MainWidget::showOverlay(QWidget *overlay)
{
    overlay->show();
    overlay->raise();
}

int MainWidget::showMessage(const QString &text, int mode)
{
    m_messageBox->raise();
    return m_messageBox->showMessage(text, mode);
}

void MainWidget::showTip(const QString &text)
{
    m_messageBox->raise();
    m_messageBox->showTip(text, 2000);
}

void MainWidget::setLoading(bool visible)
{
    if (visible)
        showOverlay(m_loading);
    else
        m_loading->hide();
    // Paint at once: the caller usually blocks or waits right after.
    QCoreApplication::processEvents();
}

void MainWidget::showCourses()
{
    if (!appState() || !appState()->signedIn) {
        showUser();
        return;
    }
    m_pages->setCurrentIndex(0);
    m_classButton->setChecked(true);
}

void MainWidget::showDownloads()
{
    if (!appState() || !appState()->signedIn) {
        showUser();
        return;
    }
    m_pages->setCurrentIndex(2);
    m_downloadButton->setChecked(true);
}

void MainWidget::showDownloadedLessons()
{
    showDownloads();
    if (m_pages->currentWidget() == m_downloads)
        m_downloads->showCachedTab();
}

void MainWidget::signInAgain(const QString &message)
{
    // Several replies can bring the news at once; the user hears it once.
    if (m_signingInAgain || !appState() || !appState()->signedIn)
        return;
    m_signingInAgain = true;
    const QString account = appState()->user.loginName;
    QPointer<MainWidget> self(this);
    if (!message.isEmpty())
        showMessage(message, Message::OkOnly);
    if (!self)
        return;
    // Signing out saves the download list and puts it away; signing in opens it again.
    if (appState()->signedIn) {
        if (APIHandler *api = apiHandler())
            api->signOut();
    }
    m_userPage->loginForm()->setAccountName(account);
    m_signingInAgain = false;
}

void MainWidget::showUser()
{
    m_pages->setCurrentIndex(3);
    m_userButton->setChecked(true);
}

void MainWidget::openCourse(Course *course)
{
    if (!course)
        return;
    if (course->isExpired != QLatin1String("0")) {
        showMessage(course->endInfo, Message::OkOnly);
        return;
    }
    // A course whose id the list did not give as text cannot be asked for.
    if (course->id.isEmpty()) {
        showMessage(unreadableReplyText(), Message::OkOnly);
        return;
    }
    // The overlay ends with the detail reply, whatever it says (a failure included).
    if (APIHandler *api = apiHandler())
        api->getMyCourseInfo(course->id);
    setLoading(true);
}

void MainWidget::continueCourse(Course *course)
{
    if (!course)
        return;
    m_continueCourseId = course->id;
    openCourse(course);
}

void MainWidget::playLessonToContinue(const QString &courseId)
{
    LearningProgress *progress = learningProgress();
    const Course *course = m_courseInfo->course();
    if (!course || course->id != courseId)
        return;
    const QString lessonId = LearningProgress::lessonToContinue(
        *course, progress ? progress->lastLesson(courseId).lessonId : QString());
    // Played once the reply handlers are done: the playback waits in a nested loop.
    QTimer::singleShot(0, this, [this, courseId, lessonId] {
        const Course *shown = m_courseInfo->course();
        if (shown && shown->id == courseId && !lessonId.isEmpty())
            m_courseInfo->playLesson(lessonId);
    });
}

void MainWidget::showLessonPage(const QString &courseId)
{
    m_lessonPage->loadCourse(courseId);
    m_pages->setCurrentWidget(m_lessonPage);
}

void MainWidget::onHttpResponse(int type, int result, const QVariant &info)
{
    switch (type) {
    case ReqLogin:
        if (result) {
            const UserSession &user = appState()->user;
            m_greetingButton->setText(QStringLiteral("欢迎您，")
                                      + (user.nickname.isEmpty() ? user.loginName : user.nickname));
            m_greetingButton->show();
            showCourses();
            if (APIHandler *api = apiHandler())
                api->getMyCourseList();
            setLoading(true);
        } else {
            m_greetingButton->hide();
            showUser();
        }
        break;
    case ReqChangePassword:
        if (!result) {
            showMessage(info.toString(), Message::OkOnly);
        } else {
            setPasswordDialogVisible(false);
            setReLoginVisible(true);
        }
        break;
    case ReqMyCourseList:
        setLoading(false);
        if (sessionExpired(result, info))
            signInAgain(info.toString());
        // Not reached at all: the page itself says so and offers the downloaded lessons.
        else if (!result && !isNetworkErrorText(info.toString()))
            showMessage(info.toString(), Message::OkOnly);
        break;
    case ReqMyCourseInfo:
        // The reply has just refilled the course's lesson list, which the page's previous
        // tree still points into: the new tree goes in before events are processed again.
        if (result)
            m_courseInfo->setCourse(info.value<Course *>());
        setLoading(false);
        if (result && !m_continueCourseId.isEmpty())
            playLessonToContinue(m_continueCourseId);
        m_continueCourseId.clear();
        if (sessionExpired(result, info))
            signInAgain(info.toString());
        else if (!result)
            showMessage(info.toString(), Message::OkOnly);
        else
            m_pages->setCurrentWidget(m_courseInfo);
        break;
    case ReqPlayKeys:
        // The lesson's own message has been shown by the playback by now.
        if (sessionExpired(result, info))
            signInAgain(QString());
        break;
    default:
        // A download or a progress report refused for the same reason.
        if (type != ReqRegister && sessionExpired(result, info))
            signInAgain(info.toString());
        break;
    }
}

// ---- window behaviour ----------------------------------------------------------------

bool MainWidget::trayAvailable() const
{
    // Asked each time: a panel with a tray can appear after the session started.
    const bool available = m_trayProbe ? m_trayProbe() : QSystemTrayIcon::isSystemTrayAvailable();
    if (available && !m_trayIcon->isVisible())
        m_trayIcon->show();
    return available;
}

void MainWidget::onMinimiseClicked()
{
    const bool toTray = Settings::isOn(appState() ? appState()->settings.get() : nullptr,
                                       SettingKeys::MinimizePosition);
    // Without a tray a hidden window could never be brought back.
    if (toTray && trayAvailable())
        hide();
    else
        showMinimized();
}

void MainWidget::closeEvent(QCloseEvent *event)
{
    const bool toTray = Settings::isOn(appState() ? appState()->settings.get() : nullptr,
                                       SettingKeys::ClosePosition);
    if (toTray) {
        event->ignore();
        if (trayAvailable())
            hide();
        else
            showMinimized();
        return;
    }
    if (showMessage(QStringLiteral("确定退出？"), Message::OkCancel) != Message::Ok) {
        event->ignore();
        return;
    }
    event->accept();
    quitApplication();
}

void MainWidget::restore()
{
    setWindowState(Qt::WindowActive);
    show();
}

void MainWidget::bringToFront()
{
    if (isMinimized() || !isVisible())
        restore();
    raise();
    activateWindow();
}

void MainWidget::activateFromOtherInstance()
{
    writeLog(QStringLiteral("activated by another start"));
    if (isMinimized())
        restore();
    raise();
    activateWindow();
}

void MainWidget::toggleMaximise(bool maximise)
{
    if (maximise)
        showMaximized();
    else
        showNormal();
    applyMaximised(maximise);
}

void MainWidget::applyMaximised(bool maximised)
{
    m_maximised = maximised;
    m_maxButton->setChecked(maximised);
    const int margin = maximised ? 0 : m_shadowWidth;
    m_mainLayout->setContentsMargins(margin, margin, margin, margin);
}

void MainWidget::changeEvent(QEvent *event)
{
    // Whoever changed the state (restore from the tray, the window manager), the flag, the
    // button and the shadow margin follow it; a minimised window keeps what it had.
    if (event->type() == QEvent::WindowStateChange && !isMinimized()
        && isMaximized() != m_maximised)
        applyMaximised(isMaximized());
    QWidget::changeEvent(event);
}

void MainWidget::mousePressEvent(QMouseEvent *event)
{
    m_dragOffset = event->pos();
    QWidget::mousePressEvent(event);
}

void MainWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_maximised && (event->buttons() & Qt::LeftButton))
        move(event->globalPos() - m_dragOffset);
    QWidget::mouseMoveEvent(event);
}

void MainWidget::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->pos().y() < kTitleHeight) {
        m_maxButton->toggle();
        toggleMaximise(m_maxButton->isChecked());
    }
    QWidget::mouseDoubleClickEvent(event);
}

void MainWidget::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    int bannerTop = 0;
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen || size() != screen->availableGeometry().size()) {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        for (int i = 0; i < m_shadowWidth; ++i) {
            const int d = m_shadowWidth - i;
            QPainterPath path;
            path.setFillRule(Qt::WindingFill);
            path.addRoundedRect(QRectF(d, d, width() - 2 * d, height() - 2 * d), 2, 2);
            painter.setPen(QColor(0, 0, 0, int(85 - 40 * std::sqrt(double(i)))));
            painter.drawPath(path);
        }
        bannerTop = m_shadowWidth;
    }
    const int bannerWidth = int(width() * 0.6);
    m_banner->setFixedWidth(bannerWidth);
    m_banner->move((width() - bannerWidth) / 2, bannerTop);
}

// ---- update, tray and shutdown -------------------------------------------------------

void MainWidget::showUpdateBanner()
{
    m_banner->raise();
    growBanner();
}

void MainWidget::growBanner()
{
    m_banner->setFixedHeight(m_banner->height() + 1);
    if (m_banner->height() < kBannerHeight)
        QTimer::singleShot(10, this, &MainWidget::growBanner);
}

void MainWidget::notifyTray(const QString &text)
{
    if (m_trayNotifier)
        m_trayNotifier(AppInfo::displayName(), text);
    else
        m_trayIcon->showMessage(AppInfo::displayName(), text, QSystemTrayIcon::Information, 10000);
}

void MainWidget::showAllDoneTip() { notifyTray(QStringLiteral("全部下载已完成")); }

void MainWidget::showShutdown()
{
    // The computer is about to go off: the countdown and its 取消 must be in front of the
    // user, also when the window was hidden in the tray or minimised.
    if (isMinimized())
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
    // Hidden and shown again, the window may still hold the system's focus without it being
    // reported anew, so the widgets would not count as active; tell them.
    if (QGuiApplication::focusWindow() == windowHandle())
        QApplication::setActiveWindow(this);
    showOverlay(m_shutdown);
    notifyTray(QStringLiteral("全部下载已完成，电脑将在30秒后关机"));
}

void MainWidget::setPasswordDialogVisible(bool visible)
{
    if (visible)
        showOverlay(m_alterPwd);
    else
        m_alterPwd->hide();
}

void MainWidget::setReLoginVisible(bool visible)
{
    if (visible)
        showOverlay(m_reLogin);
    else
        m_reLogin->hide();
}

bool MainWidget::installUpdate()
{
    const QString installer = appState() ? appState()->installerPath : QString();
    if (installer.isEmpty())
        return false;
    QFile::setPermissions(installer, QFile::permissions(installer) | QFile::ExeOwner);
    // Detached: the installer must outlive this process, which quits as soon as it started.
    if (!QProcess::startDetached(installer, QStringList() << QStringLiteral("/silent")))
        return false;
    quitApplication();
    return true;
}
