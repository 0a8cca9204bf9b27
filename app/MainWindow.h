#pragma once

#include "widgets/MessageMode.h"

class QString;
struct Course;

// What the rest of the program asks of the main window: the message box, the tip, the
// loading overlay, the pages, the dialogs they open and the banner. The lesson tiles, the
// player and the download screen reach the window only through this, so they need none of
// its widgets; MainWidget implements it and start-up registers it (mainWidget()).
class MainWindow
{
public:
    virtual ~MainWindow() = default;

    // A question or notice over the window; a Message::Mode in, a Message::Answer out.
    virtual int showMessage(const QString &text, int mode) = 0;
    // A notice that closes itself after two seconds.
    virtual void showTip(const QString &text) = 0;
    virtual void setLoading(bool visible) = 0;

    virtual void showCourses() = 0;
    virtual void showDownloads() = 0;
    virtual void showDownloadedLessons() = 0;
    virtual void showUser() = 0;
    virtual void openCourse(Course *course) = 0;
    // "继续学习": the course opened and the lesson to go on with played.
    virtual void continueCourse(Course *course) = 0;
    virtual void showLessonPage(const QString &courseId) = 0;
    virtual void signInAgain(const QString &message) = 0;

    virtual void showUpdateBanner() = 0;
    virtual void setPasswordDialogVisible(bool visible) = 0;
    virtual void setReLoginVisible(bool visible) = 0;

    // Brings the window back from the tray or the task bar.
    virtual void restore() = 0;
    // Restored if it is minimised or hidden, then raised and active: a message about to
    // show must not wait behind a player window or in the tray.
    virtual void bringToFront() = 0;
};
