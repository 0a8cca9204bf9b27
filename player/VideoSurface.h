#pragma once

#include "player/MpvRenderHost.h"

#include <QOpenGLWidget>
#include <QString>

#include <atomic>

struct mpv_render_context;

// The black surface a lesson plays on when OpenGL is available: libmpv renders each picture
// into this widget's framebuffer (render API), and the widget then paints the message line
// and the passing notice over it, so they show over the video on X11 and Wayland alike.
class VideoSurface : public QOpenGLWidget, public MpvRenderHost
{
    Q_OBJECT

public:
    explicit VideoSurface(QWidget *parent = nullptr);
    ~VideoSurface() override;

    // Whether this process can draw with OpenGL at all (asked once): false on the
    // offscreen platforms and where no context can be made current.
    static bool openGLAvailable();
    // The message line: white text at x 15 on the baseline the window's height minus 90
    // gives, over a dark plate so it reads on a bright picture too. Shared with the
    // fallback surface.
    static void paintMessage(QPainter &painter, const QString &message, int baseline);

    void attachPlayer(const MpvLibrary &library, mpv_handle *mpv) override;
    void detachPlayer() override;

    void setMessage(const QString &message);
    // A short line at the top left (the speed just chosen); empty hides it.
    void setNotice(const QString &notice);
    QString notice() const { return m_notice; }
    bool rendersVideo() const { return m_render != nullptr; }

protected:
    void initializeGL() override;
    void paintGL() override;

private:
    static void requestUpdate(void *context);
    void createRenderContext();
    void freeRenderContext();

    const MpvLibrary *m_library = nullptr;
    mpv_handle *m_mpv = nullptr;
    mpv_render_context *m_render = nullptr;
    QMetaObject::Connection m_contextGone;
    std::atomic_bool m_updateQueued{false};
    QString m_message;
    QString m_notice;
};
