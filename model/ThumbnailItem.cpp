#include "model/ThumbnailItem.h"

#include "app/Accessors.h"
#include "app/AppState.h"
#include "download/StoreFolders.h"
#include "model/Course.h"
#include "model/ThumbnailImageFetcher.h"

#include <QFileInfo>
#include <QPixmapCache>

ThumbnailItem::ThumbnailItem(int kind, const Course *course, QObject *parent)
    : QObject(parent)
    , m_kind(kind)
{
    if (course)
        m_courseId = course->id;
}

ThumbnailItem::~ThumbnailItem() = default;

void ThumbnailItem::setCourseware(const Courseware *courseware)
{
    m_lessonId = courseware ? courseware->id : QString();
}

void ThumbnailItem::showCourseImage(const Course *course)
{
    if (!course)
        return;
    m_imageUrl = course->img;
    m_imagePath = cachePathFor(m_imageUrl);
}

QString ThumbnailItem::cachePathFor(const QString &imageUrl)
{
    const AppState *state = appState();
    if (!state || state->userDataDir.isEmpty() || imageUrl.isEmpty())
        return QString();
    const QString path = StoreFolders::localPathForUrl(state->userDataDir, imageUrl);
    // An address ending in "/" or in a dot name would name a folder, not a file.
    const QString name = QFileInfo(path).fileName();
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return QString();
    return path;
}

void ThumbnailItem::cacheImage()
{
    if (m_imagePath.isEmpty() || QFileInfo::exists(m_imagePath) || m_imageUrl.isEmpty())
        return;
    ThumbnailImageFetcher::instance()->fetch(this);
}

void ThumbnailItem::imageStored()
{
    QPixmapCache::remove(m_imagePath);
    emit imageChanged();
}

QPixmap ThumbnailItem::thumbnail() const
{
    if (m_imagePath.isEmpty())
        return QPixmap();
    // Many tiles share one cover; the scaled picture is kept once, in a bounded cache.
    QPixmap pixmap;
    if (QPixmapCache::find(m_imagePath, &pixmap))
        return pixmap;
    QPixmap original(m_imagePath);
    if (original.isNull())
        return QPixmap();
    pixmap =
        original.scaled(ImageWidth, ImageHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QPixmapCache::insert(m_imagePath, pixmap);
    return pixmap;
}
