#include "player/LessonPlayback.h"

#include "api/APIHandler.h"
#include "api/ServiceSettings.h"
#include "app/Accessors.h"
#include "download/FileStream.h"
#include "model/Courseware.h"
#include "model/M3u8Context.h"
#include "player/FFPlayer.h"
#include "player/LumraPlayer.h"
#include "ui/MainWidget.h"

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
    const Courseware *stored = downloads ? downloads->findDownloadLesson(node->courseId, node->id) : nullptr;
    if (stored && stored->downloadState == Courseware::Downloaded) {
        playOffline(stored);
        return;
    }
    if (m_api)
        m_api->getKeysAndUrl(node, AddressRequestType);
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
    if (type != AddressRequestType)
        return;
    if (result == 0) {
        showMessage(info.toString());
        return;
    }
    const M3u8Context context = info.value<M3u8Context>();
    const QString address = m_api ? m_api->mapToLine(context.url) : context.url;
    // The keys arrive percent-encoded already; they go into the cookie as they are.
    playOnline(address, QString::fromUtf8(context.keys), context.courseware);
}

void LessonPlayback::playOnline(const QString &address, const QString &keys, const Courseware *lesson)
{
    if (FFPlayer::current())
        return;
    WindowHolder window = openWindow(lesson);
    window->openUrl(address, headerLine(), cookieLine(keys));
    release(std::move(window));
}

void LessonPlayback::playOffline(const Courseware *lesson)
{
    if (FFPlayer::current() || !lesson)
        return;
    WindowHolder window = openWindow(lesson);
    window->openLocal(lesson->localPath);
    release(std::move(window));
}

LessonPlayback::WindowHolder LessonPlayback::openWindow(const Courseware *lesson)
{
    WindowHolder window(new FFPlayer);
    window->show();
    window->setCourseware(lesson);
    return window;
}

void LessonPlayback::release(WindowHolder window)
{
    // A lesson that never started to play (its files are missing) keeps its window and
    // message until the user closes it; otherwise the window goes once control is back
    // in the event loop.
    if (window->player() && window->player()->openCount() == 0 && window->isVisible()) {
        window->setAttribute(Qt::WA_DeleteOnClose);
        window.release();
    }
}

void LessonPlayback::showMessage(const QString &text)
{
    if (m_messageSink)
        m_messageSink(text);
    else if (MainWidget *main = mainWidget())
        main->showMessage(text, 1);
}
