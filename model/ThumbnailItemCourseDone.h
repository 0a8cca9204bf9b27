#pragma once

#include "model/ThumbnailItem.h"

// A course of the download list with at least one downloaded lesson.
class ThumbnailItemCourseDone : public ThumbnailItem
{
    Q_OBJECT

public:
    explicit ThumbnailItemCourseDone(Course *course, QObject *parent = nullptr);
    void activate() override;
};
