#pragma once

#include "model/ThumbnailItem.h"

// A course of the signed-in user's course list.
class ThumbnailItemMyCourse : public ThumbnailItem
{
    Q_OBJECT

public:
    explicit ThumbnailItemMyCourse(Course *course, QObject *parent = nullptr);
    void activate() override;
};
