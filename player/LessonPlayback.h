#pragma once

#include "model/Courseware.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>

class APIHandler;
class FFPlayer;

// Turns a chosen lesson into one playback: offline from the download store when the lesson
// is downloaded, else online with the address the service hands out (request type 8),
// fitted to the chosen line. One player window at a time; a request while one plays is
// dropped. The play calls block until the window is closed. A lesson that cannot be played
// is reported with the reason while its window still shows; the window goes after that.
class LessonPlayback : public QObject
{
    Q_OBJECT

public:
    // Listens to this client's lesson address replies.
    explicit LessonPlayback(APIHandler *api, QObject *parent = nullptr);

    // A node of a course's lesson tree was chosen (double click): chapters and sections
    // do nothing; a downloaded lesson plays offline, any other asks for its address. The
    // address reply names the lesson by its ids; it is looked up when the reply comes.
    void playFromCourse(Courseware *node);
    // A downloaded-lesson tile was activated.
    void playDownloaded(Courseware *lesson);
    void playOnline(const QString &address, const QString &keys, const Courseware *lesson);
    void playOffline(const Courseware *lesson);

    // "keys=VALUE; path=/; domain=D;" and "Host:NAME;".
    static QString cookieLine(const QString &keys);
    static QString headerLine();

    // Where failures are shown; the main window's message box unless set.
    void setMessageSink(std::function<void(const QString &)> sink)
    {
        m_messageSink = std::move(sink);
    }

private:
    // A player window is released with deleteLater: the blocking open that ran it may
    // still be unwinding when the release happens.
    struct LaterDeleter
    {
        void operator()(QObject *object) const { object->deleteLater(); }
    };
    using WindowHolder = std::unique_ptr<FFPlayer, LaterDeleter>;

    static WindowHolder openWindow(const Courseware *lesson);
    // Says why a lesson did not play, if it did not; the holder then lets the window go.
    void finish(WindowHolder window);
    void onHttpResponse(int type, int result, const QVariant &info);
    // The lesson an address reply names: as the course list holds it now, else as it was
    // when asked for, else the bare ids.
    Courseware askedLesson(const QString &courseId, const QString &lessonId);
    void showMessage(const QString &text);

    static constexpr int MaxAsked = 8;

    APIHandler *m_api = nullptr;
    std::function<void(const QString &)> m_messageSink;
    QList<Courseware> m_asked; // copies of the lessons whose address is on its way
};
