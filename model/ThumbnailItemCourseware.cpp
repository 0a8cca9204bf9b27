#include "model/ThumbnailItemCourseware.h"

#include "app/Accessors.h"
#include "download/FileStream.h"
#include "model/Course.h"
#include "player/LessonPlayback.h"

namespace {

ThumbnailItemCourseware::OfflinePlayer &offlinePlayer()
{
    static ThumbnailItemCourseware::OfflinePlayer player;
    return player;
}

} // namespace

ThumbnailItemCourseware::ThumbnailItemCourseware(Course *course, Courseware *courseware, int state,
                                                 QObject *parent)
    : ThumbnailItem(CoursewareKind, course, parent)
{
    m_state = state;
    setCourseware(courseware);
    showCourseImage(course);
    if (courseware) {
        m_localFolder = courseware->localPath;
        m_title = courseware->title;
    }
    cacheImage();
}

void ThumbnailItemCourseware::setOfflinePlayer(OfflinePlayer player)
{
    offlinePlayer() = std::move(player);
}

void ThumbnailItemCourseware::activate()
{
    FileStream *downloads = fileStream();
    if (m_state == Failed) {
        if (downloads)
            downloads->startNext();
        return;
    }
    if (m_state != Downloaded || !downloads)
        return;
    // Looked up again: the tile may outlive a change of the download list.
    Courseware *lesson = downloads->findDownloadLesson(m_courseId, m_lessonId);
    if (!lesson || lesson->downloadState != Courseware::Downloaded)
        return;
    // Playback blocks while the window is open and the page may drop this tile meanwhile,
    // so nothing of this object is touched after the call.
    if (const OfflinePlayer player = offlinePlayer()) {
        player(lesson);
        return;
    }
    LessonPlayback playback(nullptr);
    playback.playDownloaded(lesson);
}
