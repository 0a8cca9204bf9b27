#pragma once

#include "model/ThumbnailItem.h"

// The last tile of a course's downloaded lessons: opens the course to choose more.
class ThumbnailItemAddMore : public ThumbnailItem
{
    Q_OBJECT

public:
    explicit ThumbnailItemAddMore(Course *course, QObject *parent = nullptr);
    void activate() override;
};
