#pragma once

// The main window's pages, overlays and menus as the screen tests reach them: by their type
// or object name among the window's children, the way a user finds them by sight, without
// accessors kept in the window for the tests' sake. Each finder expects exactly one match and
// fails the test with the name it looked for otherwise.

#include "download/DownloadPathSettingWidget.h"
#include "download/DownloadWidget.h"
#include "player/ToggleHostWidget.h"
#include "ui/AboutWidget.h"
#include "ui/AlterPwdWidget.h"
#include "ui/CoursewarePage.h"
#include "ui/MainWidget.h"
#include "ui/MyCourseInfoWidget.h"
#include "ui/MyCourseWidget.h"
#include "ui/ReLoginWidget.h"
#include "ui/SettingWidget.h"
#include "ui/ShutdownWidget.h"
#include "ui/UpdateWidget.h"
#include "ui/UserWidget.h"
#include "widgets/LoadingWidget.h"
#include "widgets/StyleButton.h"
#include "widgets/XMessageWidget.h"

#include <QMenu>
#include <QStackedLayout>
#include <QSystemTrayIcon>
#include <QTest>

namespace WindowParts {

// The one child of the window of this type (and object name, when given).
template <typename T>
T *only(const QWidget *window, const QString &name = QString())
{
    const QList<T *> found = window->findChildren<T *>(name);
    if (found.size() != 1) {
        QTest::qFail(qPrintable(QStringLiteral("%1 parts named \"%2\" of type %3 in the window")
                                    .arg(found.size())
                                    .arg(name, QLatin1String(T::staticMetaObject.className()))),
                     __FILE__, __LINE__);
        return nullptr;
    }
    return found.first();
}

// 0 my courses, 1 course detail, 2 downloads, 3 user, 4 a course's downloaded lessons.
inline int currentPage(const QWidget *window)
{
    QStackedLayout *pages = only<QStackedLayout>(window, QStringLiteral("stackPages"));
    return pages ? pages->currentIndex() : -1;
}

inline QMenu *mainMenu(const QWidget *window)
{
    return only<QMenu>(window, QStringLiteral("menuMain"));
}
inline QMenu *userMenu(const QWidget *window)
{
    return only<QMenu>(window, QStringLiteral("menuUser"));
}
inline QWidget *banner(const QWidget *window)
{
    return only<QWidget>(window, QStringLiteral("Banner"));
}

// The title bar's greeting, which opens the user menu once someone is signed in.
inline StyleButton *greetingButton(const QWidget *window)
{
    QWidget *titleBar = only<QWidget>(window, QStringLiteral("TitleWidget"));
    return titleBar ? only<StyleButton>(titleBar, QStringLiteral("btnControl")) : nullptr;
}

inline XMessageWidget *messageBox(const QWidget *window) { return only<XMessageWidget>(window); }
inline LoadingWidget *loadingWidget(const QWidget *window) { return only<LoadingWidget>(window); }
inline AboutWidget *aboutWidget(const QWidget *window) { return only<AboutWidget>(window); }
inline UpdateWidget *updateWidget(const QWidget *window) { return only<UpdateWidget>(window); }
inline SettingWidget *settingWidget(const QWidget *window) { return only<SettingWidget>(window); }
inline AlterPwdWidget *alterPwdWidget(const QWidget *window)
{
    return only<AlterPwdWidget>(window);
}
inline ReLoginWidget *reLoginWidget(const QWidget *window) { return only<ReLoginWidget>(window); }
inline ShutdownWidget *shutdownWidget(const QWidget *window)
{
    return only<ShutdownWidget>(window);
}
inline DownloadPathSettingWidget *downloadPathWidget(const QWidget *window)
{
    return only<DownloadPathSettingWidget>(window);
}
inline ToggleHostWidget *toggleHostWidget(const QWidget *window)
{
    return only<ToggleHostWidget>(window);
}
inline UserWidget *userPage(const QWidget *window) { return only<UserWidget>(window); }
inline MyCourseWidget *myCoursesPage(const QWidget *window) { return only<MyCourseWidget>(window); }
inline MyCourseInfoWidget *courseInfoPage(const QWidget *window)
{
    return only<MyCourseInfoWidget>(window);
}
inline DownloadWidget *downloadPage(const QWidget *window) { return only<DownloadWidget>(window); }
inline CoursewarePage *lessonPage(const QWidget *window) { return only<CoursewarePage>(window); }
inline QSystemTrayIcon *trayIcon(const QWidget *window) { return only<QSystemTrayIcon>(window); }

} // namespace WindowParts
