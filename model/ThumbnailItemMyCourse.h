#pragma once

#include "model/ThumbnailItem.h"

// A course of the signed-in user's course list.
class ThumbnailItemMyCourse : public ThumbnailItem
{
    Q_OBJECT

public:
    // The course is a record of the app state's course list, which keeps every record for
    // the whole run.
    explicit ThumbnailItemMyCourse(Course *course, QObject *parent = nullptr);
    void activate() override;
    void continueLearning() override;
    Course *course() const { return m_course; }
    // Reads the course's learning progress again (the count, whether to offer continuing).
    void showProgress();

private:
    Course *m_course = nullptr;
};
