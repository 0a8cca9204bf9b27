#pragma once

#include "player/MpvRenderHost.h"

#include <QOpenGLWindow>
#include <QString>

#include <atomic>

struct mpv_render_context;

// The native OpenGL window libmpv renders each picture into (render API), with the message
// line and the passing notice painted over the picture in the same frame. A window of its
// own, not a widget: a widget's framebuffer is composed into the top-level window again for
// every picture, which a software rasteriser pays for twice.
class VideoWindow : public QOpenGLWindow, public MpvRenderHost
{
    Q_OBJECT

public:
    VideoWindow();
    ~VideoWindow() override;

    void attachPlayer(const MpvLibrary &library, mpv_handle *mpv) override;
    void detachPlayer() override;
    bool renderContextPending() const override;

    void setMessage(const QString &message);
    void setMessageBaseline(int baseline);
    void setNotice(const QString &notice);

protected:
    void initializeGL() override;
    void paintGL() override;

private:
    static void requestPicture(void *context);
    void createRenderContext();
    void freeRenderContext();

    const MpvLibrary *m_library = nullptr;
    mpv_handle *m_mpv = nullptr;
    mpv_render_context *m_render = nullptr;
    bool m_renderFailed = false;
    QMetaObject::Connection m_contextGone;
    std::atomic_bool m_updateQueued{false};
    QString m_message;
    QString m_notice;
    int m_messageBaseline = 0;
};
