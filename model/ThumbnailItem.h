#pragma once

#include <QObject>
#include <QPixmap>
#include <QString>

struct Course;
struct Courseware;

// One tile of a thumbnail grid: what it shows and what a click on it does. A tile keeps
// its course and lesson by id only: the lists its records came from can be rebuilt while
// the tile lives, so whatever it does later looks them up again.
class ThumbnailItem : public QObject
{
    Q_OBJECT

public:
    enum Kind {
        AddMoreKind = 0,
        CourseDoneKind = 1,
        MyCourseKind = 2,
        CoursewareKind = 3
    };
    enum State {
        Downloaded = 0,
        Downloading = 1,
        Waiting = 2,
        Failed = 3,
        Paused = 4
    };
    enum Role {
        ImageRole = Qt::UserRole + 1,
        TitleRole,
        KindRole,
        StateRole,
        CachedCountRole,
        ProgressAngleRole,
        SpeedRole,
        DownloadedBytesRole,
        ErrorTextRole,
        EditModeRole,
        CheckedRole,
        ExpiredRole,  // a course tile whose course has ended
        LearnedRole,  // a course tile: how many of its lessons were watched, as shown
        ContinueRole, // a course tile offers to continue learning
    };
    static constexpr int FullAngle = 5760; // a whole circle in 1/16 degree
    static constexpr int ImageWidth = 220;
    static constexpr int ImageHeight = 124;

    ~ThumbnailItem() override;

    virtual void activate() = 0;
    // "继续学习" on a course tile: opens the lesson to go on with.
    virtual void continueLearning() { }

    // The cover file of an image address under the signed-in user's folder; empty when
    // nobody is signed in or the address names no file.
    static QString cachePathFor(const QString &imageUrl);
    // Fetches the cover into imagePath unless it is there already.
    void cacheImage();
    // The cover scaled to 220 by 124, or a null pixmap while there is none.
    QPixmap thumbnail() const;
    // The fetcher stored the cover.
    void imageStored();

    QString courseId() const { return m_courseId; }
    QString lessonId() const { return m_lessonId; }
    QString localFolder() const { return m_localFolder; }
    QString imagePath() const { return m_imagePath; }
    QString imageUrl() const { return m_imageUrl; }
    QString title() const { return m_title; }
    int cachedCount() const { return m_cachedCount; }
    int progressAngle() const { return m_progressAngle; }
    double speed() const { return m_speed; }
    double downloadedBytes() const { return m_downloadedBytes; }
    QString errorText() const { return m_errorText; }
    int kind() const { return m_kind; }
    int state() const { return m_state; }
    bool editMode() const { return m_editMode; }
    bool isChecked() const { return m_kind != AddMoreKind && m_checked; }
    bool isExpired() const { return m_expired; }
    QString learnedText() const { return m_learnedText; }
    bool canContinue() const { return m_canContinue; }

    void setState(int state) { m_state = state; }
    void setKind(int kind) { m_kind = kind; }
    void setProgressAngle(int angle) { m_progressAngle = qBound(0, angle, FullAngle); }
    void setSpeed(double speed) { m_speed = speed; }
    void setDownloadedBytes(double bytes) { m_downloadedBytes = bytes; }
    void setErrorText(const QString &text) { m_errorText = text; }
    void setEditMode(bool on) { m_editMode = on; }
    void setChecked(bool checked) { m_checked = checked; }

signals:
    void imageChanged();

protected:
    // The records are read here and not kept.
    ThumbnailItem(int kind, const Course *course, QObject *parent);
    void setCourseware(const Courseware *courseware);
    void showCourseImage(const Course *course);

    QString m_courseId;
    QString m_lessonId;
    QString m_localFolder;
    QString m_imagePath;
    QString m_imageUrl;
    QString m_title;
    int m_cachedCount = 0;
    int m_progressAngle = 0;
    double m_speed = 0;
    double m_downloadedBytes = 0;
    QString m_errorText;
    int m_kind = AddMoreKind;
    int m_state = Waiting;
    bool m_editMode = false;
    bool m_checked = false;
    bool m_expired = false;
    QString m_learnedText;
    bool m_canContinue = false;
};
