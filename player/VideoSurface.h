#pragma once

#include "player/MpvRenderHost.h"

#include <QImage>
#include <QString>
#include <QWidget>

class QPainter;
class VideoWindow;

// The black surface a lesson plays on when OpenGL is available: it holds the window libmpv
// renders into (render API), which paints the message line and the passing notice over
// each picture, so they show over the video on X11 and Wayland alike. Mouse input passes
// through that window to this widget.
class VideoSurface : public QWidget, public MpvRenderHost
{
    Q_OBJECT

public:
    explicit VideoSurface(QWidget *parent = nullptr);
    ~VideoSurface() override;

    // Whether this process can draw with OpenGL at all (asked once): false on the
    // offscreen platforms and where no context can be made current.
    static bool openGLAvailable();
    // The message line: white text at x 15 on the given baseline, over a dark plate so it
    // reads on a bright picture too. Shared with the fallback surface.
    static void paintMessage(QPainter &painter, const QString &message, int baseline);
    // The notice's bold line at the top left, on the same plate.
    static void paintNotice(QPainter &painter, const QString &notice);

    void attachPlayer(const MpvLibrary &library, mpv_handle *mpv) override;
    void detachPlayer() override;
    bool renderContextPending() const override;

    void setMessage(const QString &message);
    // A short line at the top left (the speed just chosen); empty hides it.
    void setNotice(const QString &notice);
    // What the surface shows now, picture and lines; widget grabs cannot see it, and
    // screen grabs are not possible on every platform.
    QImage picture() const;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void placeMessage();

    VideoWindow *m_window = nullptr;
};
