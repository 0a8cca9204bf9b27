#include "player/LessonPlayback.h"

#include "api/APIHandler.h"
#include "api/RequestType.h"
#include "api/ServiceSettings.h"
#include "app/Accessors.h"
#include "app/AppState.h"
#include "app/MainWindow.h"
#include "download/FileStream.h"
#include "model/Course.h"
#include "model/M3u8Context.h"
#include "player/FFPlayer.h"

#include <QDebug>

LessonPlayback::LessonPlayback(APIHandler *api, QObject *parent)
    : QObject(parent)
    , m_api(api)
{
    if (m_api)
        connect(m_api, &APIHandler::HttpResponseSignal, this, &LessonPlayback::onHttpResponse);
}

QString LessonPlayback::cookieLine(const QString &keys)
{
    return QStringLiteral("keys=") + keys + QStringLiteral("; path=/; domain=")
           + ServiceSettings::cookieDomain() + QLatin1Char(';');
}

QString LessonPlayback::headerLine()
{
    return QStringLiteral("Host:") + ServiceSettings::coursewareHost() + QLatin1Char(';');
}

void LessonPlayback::playFromCourse(Courseware *node)
{
    if (!node || node->level != Courseware::Lesson)
        return;
    FileStream *downloads = fileStream();
    const Courseware *stored =
        downloads ? downloads->findDownloadLesson(node->courseId, node->id) : nullptr;
    if (stored && stored->downloadState == Courseware::Downloaded) {
        // The download list's record is as old as the download: the tree's knows how far the
        // student has got since.
        Courseware record = *stored;
        record.watchtimes = node->watchtimes;
        record.stutas = node->stutas;
        playOffline(&record);
        return;
    }
    if (!m_api)
        return;
    m_asked.append(*node);
    while (m_asked.size() > MaxAsked)
        m_asked.removeFirst();
    m_api->getKeysAndUrl(node, ReqPlayKeys);
}

Courseware LessonPlayback::askedLesson(const QString &courseId, const QString &lessonId)
{
    Courseware lesson;
    lesson.courseId = courseId;
    lesson.id = lessonId;
    lesson.level = Courseware::Lesson;
    for (int i = 0; i < m_asked.size(); ++i) {
        if (m_asked.at(i).courseId == courseId && m_asked.at(i).id == lessonId) {
            lesson = m_asked.takeAt(i);
            break;
        }
    }
    const AppState *state = appState();
    if (const Course *course = state ? state->findCourse(courseId) : nullptr) {
        if (const Courseware *current = course->findCourseware(lessonId))
            lesson = *current;
    }
    return lesson;
}

void LessonPlayback::playDownloaded(Courseware *lesson)
{
    if (!lesson)
        return;
    qDebug() << "coursewareId:" << lesson->id;
    playOffline(lesson);
}

void LessonPlayback::onHttpResponse(int type, int result, const QVariant &info)
{
    if (type != ReqPlayKeys)
        return;
    if (result == 0) {
        showMessage(info.toString());
        return;
    }
    const M3u8Context context = info.value<M3u8Context>();
    Courseware lesson = askedLesson(context.courseId, context.lessonId);
    // The service's watch time, the freshest word on where the student got to elsewhere.
    if (context.watchtimes > lesson.watchtimes.toDouble())
        lesson.watchtimes = QString::number(context.watchtimes);
    const QString address = m_api ? m_api->mapToLine(context.url) : context.url;
    // The keys arrive percent-encoded already; they go into the cookie as they are.
    playOnline(address, QString::fromUtf8(context.keys), &lesson);
}

void LessonPlayback::playOnline(const QString &address, const QString &keys,
                                const Courseware *lesson)
{
    if (FFPlayer::current())
        return;
    WindowHolder window = openWindow(lesson);
    window->openUrl(address, headerLine(), cookieLine(keys));
    finish(std::move(window));
}

void LessonPlayback::playOffline(const Courseware *lesson)
{
    if (FFPlayer::current() || !lesson)
        return;
    // A copy: the download list the record lives in may change while the lesson plays.
    const Courseware record = *lesson;
    WindowHolder window = openWindow(&record);
    window->openLocal(record.localPath);
    finish(std::move(window));
}

LessonPlayback::WindowHolder LessonPlayback::openWindow(const Courseware *lesson)
{
    WindowHolder window(new FFPlayer);
    window->show();
    window->setCourseware(lesson);
    return window;
}

void LessonPlayback::finish(WindowHolder window)
{
    // The reason is told while the window still shows it on the video; the window goes once
    // the message was read (the holder releases it when control is back in the event loop).
    const QString failure = window->failureText();
    if (!failure.isEmpty() && window->isVisible())
        showMessage(failure);
}

void LessonPlayback::showMessage(const QString &text)
{
    if (m_messageSink) {
        m_messageSink(text);
        return;
    }
    MainWindow *main = mainWidget();
    if (!main)
        return;
    // In front of a player window that may still be open.
    main->bringToFront();
    main->showMessage(text, Message::OkOnly);
}
