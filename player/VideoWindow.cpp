#include "player/VideoWindow.h"

#include "player/MpvLibrary.h"
#include "player/VideoSurface.h"

#include <QDebug>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QPainter>

#include <mpv/render_gl.h>

namespace {

void *procAddress(void *, const char *name)
{
    QOpenGLContext *context = QOpenGLContext::currentContext();
    return context ? reinterpret_cast<void *>(context->getProcAddress(name)) : nullptr;
}

} // namespace

VideoWindow::VideoWindow()
    : QOpenGLWindow(QOpenGLWindow::NoPartialUpdate)
{
    // Clicks, wheel and moves belong to the widget around it (full screen on a double
    // click, the control bar back on a move): this window only shows.
    setFlag(Qt::WindowTransparentForInput);
}

VideoWindow::~VideoWindow()
{
    disconnect(m_contextGone);
    detachPlayer();
}

void VideoWindow::attachPlayer(const MpvLibrary &library, mpv_handle *mpv)
{
    m_library = &library;
    m_mpv = mpv;
    // Before the first show there is no OpenGL context yet: initializeGL creates it then.
    if (context() && context()->isValid()) {
        makeCurrent();
        createRenderContext();
        doneCurrent();
    }
}

void VideoWindow::detachPlayer()
{
    if (m_render && context()) {
        makeCurrent();
        freeRenderContext();
        doneCurrent();
    }
    m_render = nullptr;
    m_renderFailed = false;
    m_mpv = nullptr;
    m_library = nullptr;
    update();
}

bool VideoWindow::renderContextPending() const { return m_mpv && !m_render && !m_renderFailed; }

void VideoWindow::initializeGL()
{
    // The context goes with this window's native surface: libmpv's objects in it go first.
    disconnect(m_contextGone);
    m_contextGone = connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] {
        makeCurrent();
        freeRenderContext();
        doneCurrent();
    });
    createRenderContext();
}

void VideoWindow::createRenderContext()
{
    if (m_render || !m_mpv || !m_library)
        return;
    mpv_opengl_init_params gl{&procAddress, nullptr};
    int advancedControl = 0;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char *>(MPV_RENDER_API_TYPE_OPENGL)},
        {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &gl},
        {MPV_RENDER_PARAM_ADVANCED_CONTROL, &advancedControl},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    const int result = m_library->renderContextCreate(&m_render, m_mpv, params);
    if (result < 0) {
        qWarning().noquote() << "player: the OpenGL renderer could not start:"
                             << QString::fromUtf8(m_library->errorString(result));
        m_render = nullptr;
        m_renderFailed = true;
        return;
    }
    // Called on libmpv's threads: only queue a repaint on ours, once per batch.
    m_library->renderContextSetUpdateCallback(m_render, &VideoWindow::requestPicture, this);
}

void VideoWindow::freeRenderContext()
{
    if (!m_render)
        return;
    m_library->renderContextSetUpdateCallback(m_render, nullptr, nullptr);
    m_library->renderContextFree(m_render);
    m_render = nullptr;
}

void VideoWindow::requestPicture(void *context)
{
    auto *window = static_cast<VideoWindow *>(context);
    if (!window->m_updateQueued.exchange(true))
        QMetaObject::invokeMethod(
            window,
            [window] {
                window->m_updateQueued = false;
                window->update();
            },
            Qt::QueuedConnection);
}

void VideoWindow::paintGL()
{
    if (m_render) {
        const qreal ratio = devicePixelRatio();
        mpv_opengl_fbo fbo{int(defaultFramebufferObject()), int(width() * ratio),
                           int(height() * ratio), 0};
        int flipY = 1;
        mpv_render_param params[] = {
            {MPV_RENDER_PARAM_OPENGL_FBO, &fbo},
            {MPV_RENDER_PARAM_FLIP_Y, &flipY},
            {MPV_RENDER_PARAM_INVALID, nullptr},
        };
        m_library->renderContextRender(m_render, params);
    } else {
        QOpenGLFunctions *gl = context()->functions();
        gl->glClearColor(0, 0, 0, 1);
        gl->glClear(GL_COLOR_BUFFER_BIT);
    }

    if (m_message.isEmpty() && m_notice.isEmpty())
        return;
    // Drawn after the picture, into the same framebuffer, so it is never covered.
    QPainter painter(this);
    VideoSurface::paintMessage(painter, m_message, m_messageBaseline);
    VideoSurface::paintNotice(painter, m_notice);
}

void VideoWindow::setMessage(const QString &message)
{
    m_message = message;
    update();
}

void VideoWindow::setMessageBaseline(int baseline)
{
    if (baseline == m_messageBaseline)
        return;
    m_messageBaseline = baseline;
    if (!m_message.isEmpty())
        update();
}

void VideoWindow::setNotice(const QString &notice)
{
    m_notice = notice;
    update();
}
