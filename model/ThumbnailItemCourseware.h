#pragma once

#include "model/ThumbnailItem.h"

#include <functional>

// A lesson of the download list: downloaded (plays offline when clicked), or queued with
// its live progress, pause and error state.
class ThumbnailItemCourseware : public ThumbnailItem
{
    Q_OBJECT

public:
    using OfflinePlayer = std::function<void(Courseware *)>;

    ThumbnailItemCourseware(Course *course, Courseware *courseware, int state,
                            QObject *parent = nullptr);
    void activate() override;

    // How a downloaded lesson is played; the lesson playback session unless replaced
    // (tests). An empty function restores the default.
    static void setOfflinePlayer(OfflinePlayer player);
};
