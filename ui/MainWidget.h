#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QUrl>
#include <QVariant>
#include <QWidget>

#include "app/MainWindow.h"

#include <functional>

class AboutWidget;
class AlterPwdWidget;
class CoursewarePage;
class DownloadPathSettingWidget;
class DownloadWidget;
class ImageButton;
class ImageCheckButton;
class ImageRadioButton;
class LoadingWidget;
class MyCourseInfoWidget;
class MyCourseWidget;
class QAction;
class QMenu;
class QStackedLayout;
class QSystemTrayIcon;
class QVBoxLayout;
class ReLoginWidget;
class SettingWidget;
class ShutdownWidget;
class ToggleHostWidget;
class StyleButton;
class UpdateWidget;
class UserWidget;
class XMessageWidget;
struct Course;

// The program's one top-level window: frameless with its own shadow and title bar, five
// pages, a navigation bar, menus, the tray icon, the update banner, and every dialog as
// an overlay child.
class MainWidget : public QWidget, public MainWindow
{
    Q_OBJECT

public:
    explicit MainWidget(QWidget *parent = nullptr);
    ~MainWidget() override;

    // 800×600 on screens narrower than 1211 available pixels, else 1210×720.
    static QSize windowSizeFor(int availableWidth);
    // That size, made smaller where the screen's free area is smaller still, and the place
    // that centres it there: the title bar and the navigation bar are always on the screen.
    static QRect windowGeometryFor(const QRect &available);

    int showMessage(const QString &text, int mode) override;
    void showTip(const QString &text) override;
    void setLoading(bool visible) override;
    void showCourses() override;
    void showDownloads() override;
    // The downloads page on its 已缓存 tab: the lessons that play without the service.
    void showDownloadedLessons() override;
    void showUser() override;
    // The session is over (the service no longer knows it, or the password changed): after
    // the message, if any, the user is signed out and lands on the sign-in form with the
    // account name filled in. The downloads stay where they are.
    void signInAgain(const QString &message) override;
    void openCourse(Course *course) override;
    // "继续学习": opens the course and, once its lessons are in, plays the one to go on with.
    void continueCourse(Course *course) override;
    void showLessonPage(const QString &courseId) override;
    void showUpdateBanner() override;
    void showAllDoneTip();
    void showShutdown();
    bool installUpdate();
    void setPasswordDialogVisible(bool visible) override;
    void setReLoginVisible(bool visible) override;
    // Brings the window back from the tray or the task bar.
    void restore() override;
    void bringToFront() override;
    // A later start of the program asked for this window.
    void activateFromOtherInstance();

    // Test seams: whether a tray is available, how addresses open, how tray messages show.
    void setTrayProbe(std::function<bool()> probe) { m_trayProbe = std::move(probe); }
    void setUrlOpener(std::function<void(const QUrl &)> opener) { m_urlOpener = std::move(opener); }
    void setTrayNotifier(std::function<void(const QString &, const QString &)> notifier)
    {
        m_trayNotifier = std::move(notifier);
    }

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void playLessonToContinue(const QString &courseId);
    QString siteAddress() const;
    QString feedbackAddress() const;
    QWidget *buildTitleBar();
    QWidget *buildNavigationBar();
    QWidget *buildBanner();
    void buildMenus();
    void connectService();
    void onHttpResponse(int type, int result, const QVariant &info);
    void toggleMaximise(bool maximise);
    void applyMaximised(bool maximised);
    void notifyTray(const QString &text);
    void onMinimiseClicked();
    void growBanner();
    void popUpMenu(QMenu *menu, QWidget *button);
    bool trayAvailable() const;
    void openAddress(const QString &address);
    void showOverlay(QWidget *overlay);
    void updateQuitEntry();

    QStackedLayout *m_pages = nullptr;
    QVBoxLayout *m_mainLayout = nullptr;
    MyCourseWidget *m_myCourses = nullptr;
    MyCourseInfoWidget *m_courseInfo = nullptr;
    DownloadWidget *m_downloads = nullptr;
    UserWidget *m_userPage = nullptr;
    CoursewarePage *m_lessonPage = nullptr;
    QMenu *m_mainMenu = nullptr;
    QMenu *m_userMenu = nullptr;
    QMenu *m_helpMenu = nullptr;
    QMenu *m_trayMenu = nullptr;
    QSystemTrayIcon *m_trayIcon = nullptr;
    int m_shadowWidth = 5;
    QWidget *m_banner = nullptr;
    ImageButton *m_minButton = nullptr;
    ImageButton *m_closeButton = nullptr;
    StyleButton *m_menuButton = nullptr;
    StyleButton *m_greetingButton = nullptr;
    bool m_maximised = false;
    QPoint m_dragOffset;
    ImageCheckButton *m_maxButton = nullptr;
    ImageRadioButton *m_classButton = nullptr;
    ImageRadioButton *m_downloadButton = nullptr;
    ImageRadioButton *m_userButton = nullptr;
    AboutWidget *m_about = nullptr;
    UpdateWidget *m_update = nullptr;
    SettingWidget *m_setting = nullptr;
    LoadingWidget *m_loading = nullptr;
    XMessageWidget *m_messageBox = nullptr;
    AlterPwdWidget *m_alterPwd = nullptr;
    ReLoginWidget *m_reLogin = nullptr;
    ShutdownWidget *m_shutdown = nullptr;
    DownloadPathSettingWidget *m_downloadPath = nullptr;
    ToggleHostWidget *m_toggleHost = nullptr;
    QAction *m_quitSeparator = nullptr;
    QAction *m_quitAction = nullptr;
    bool m_signingInAgain = false;
    // The course whose detail is awaited to continue learning in it.
    QString m_continueCourseId;

    std::function<bool()> m_trayProbe;
    std::function<void(const QUrl &)> m_urlOpener;
    std::function<void(const QString &, const QString &)> m_trayNotifier;
};
