#include "model/ThumbnailItemAddMore.h"

#include "api/APIHandler.h"
#include "app/Accessors.h"
#include "app/AppState.h"
#include "app/MainWindow.h"
#include "model/Course.h"
#include "widgets/ImageStyle.h"

ThumbnailItemAddMore::ThumbnailItemAddMore(Course *course, QObject *parent)
    : ThumbnailItem(AddMoreKind, course, parent)
{
    m_imagePath = ImageStyle::imagePath(QStringLiteral("addmore"));
}

void ThumbnailItemAddMore::activate()
{
    AppState *state = appState();
    Course *known = state ? state->findCourse(m_courseId) : nullptr;
    if (known) {
        if (MainWindow *main = mainWidget())
            main->openCourse(known);
    } else if (APIHandler *api = apiHandler()) {
        // The course list has not arrived (yet): ask for it again.
        api->getMyCourseList();
    }
}
