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
    Course *course() const { return m_course; }

private:
    Course *m_course = nullptr;
};
