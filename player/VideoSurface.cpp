#include "player/VideoSurface.h"

#include "player/MpvLibrary.h"

#include <QDebug>
#include <QGuiApplication>
#include <QOffscreenSurface>
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

void paintPlate(QPainter &painter, const QFont &font, const QString &text, const QPoint &baseline)
{
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const QRect box = metrics.boundingRect(text).translated(baseline).adjusted(-6, -3, 6, 3);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 140));
    painter.drawRoundedRect(box, 3, 3);
    painter.setPen(Qt::white);
    painter.drawText(baseline, text);
}

} // namespace

VideoSurface::VideoSurface(QWidget *parent)
    : QOpenGLWidget(parent)
{
    setStyleSheet(QStringLiteral("background:black"));
}

VideoSurface::~VideoSurface()
{
    // The player detaches first; this only guards a surface that goes on its own.
    disconnect(m_contextGone);
    detachPlayer();
}

bool VideoSurface::openGLAvailable()
{
    static const bool available = [] {
        const QString platform = QGuiApplication::platformName();
        if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
            return false;
        QOpenGLContext context;
        if (!context.create())
            return false;
        QOffscreenSurface surface;
        surface.setFormat(context.format());
        surface.create();
        const bool current = surface.isValid() && context.makeCurrent(&surface);
        if (current)
            context.doneCurrent();
        return current;
    }();
    return available;
}

void VideoSurface::paintMessage(QPainter &painter, const QString &message, int baseline)
{
    if (message.isEmpty())
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    paintPlate(painter, QFont(QStringLiteral("微软雅黑"), 9), message, QPoint(15, baseline));
}

void VideoSurface::attachPlayer(const MpvLibrary &library, mpv_handle *mpv)
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

void VideoSurface::detachPlayer()
{
    if (m_render && context()) {
        makeCurrent();
        freeRenderContext();
        doneCurrent();
    }
    m_render = nullptr;
    m_mpv = nullptr;
    m_library = nullptr;
    update();
}

void VideoSurface::initializeGL()
{
    // The context goes with the top-level window (a new parent, a closed window): libmpv's
    // objects in it go first.
    disconnect(m_contextGone);
    m_contextGone = connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] {
        makeCurrent();
        freeRenderContext();
        doneCurrent();
    });
    createRenderContext();
}

void VideoSurface::createRenderContext()
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
        return;
    }
    // Called on libmpv's threads: only queue a repaint on ours, once per batch.
    m_library->renderContextSetUpdateCallback(m_render, &VideoSurface::requestUpdate, this);
}

void VideoSurface::freeRenderContext()
{
    if (!m_render)
        return;
    m_library->renderContextSetUpdateCallback(m_render, nullptr, nullptr);
    m_library->renderContextFree(m_render);
    m_render = nullptr;
}

void VideoSurface::requestUpdate(void *context)
{
    auto *surface = static_cast<VideoSurface *>(context);
    if (!surface->m_updateQueued.exchange(true))
        QMetaObject::invokeMethod(
            surface,
            [surface] {
                surface->m_updateQueued = false;
                surface->update();
            },
            Qt::QueuedConnection);
}

void VideoSurface::paintGL()
{
    if (m_render) {
        const qreal ratio = devicePixelRatioF();
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
    paintMessage(painter, m_message, qMin(window()->height() - 90, height() - 8));
    if (!m_notice.isEmpty()) {
        QFont font(QStringLiteral("微软雅黑"), 14);
        font.setBold(true);
        paintPlate(painter, font, m_notice, QPoint(15, 15 + QFontMetrics(font).ascent()));
    }
}

void VideoSurface::setMessage(const QString &message)
{
    m_message = message;
    update();
}

void VideoSurface::setNotice(const QString &notice)
{
    m_notice = notice;
    update();
}
