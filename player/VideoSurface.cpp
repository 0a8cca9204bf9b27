#include "player/VideoSurface.h"

#include "player/VideoWindow.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QPainter>
#include <QVBoxLayout>

namespace {

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
    : QWidget(parent)
    , m_window(new VideoWindow)
{
    setStyleSheet(QStringLiteral("background:black"));
    setAttribute(Qt::WA_StyledBackground);
    QWidget *container = QWidget::createWindowContainer(m_window, this);
    // Events reach this widget, as the window passes them through.
    container->setAttribute(Qt::WA_TransparentForMouseEvents);
    container->setFocusPolicy(Qt::NoFocus);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(container);
}

VideoSurface::~VideoSurface()
{
    // The player detaches first; this only guards a surface that goes on its own.
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

void VideoSurface::paintNotice(QPainter &painter, const QString &notice)
{
    if (notice.isEmpty())
        return;
    QFont font(QStringLiteral("微软雅黑"), 14);
    font.setBold(true);
    paintPlate(painter, font, notice, QPoint(15, 15 + QFontMetrics(font).ascent()));
}

void VideoSurface::attachPlayer(const MpvLibrary &library, mpv_handle *mpv)
{
    m_window->attachPlayer(library, mpv);
}

void VideoSurface::detachPlayer() { m_window->detachPlayer(); }

bool VideoSurface::renderContextPending() const { return m_window->renderContextPending(); }

void VideoSurface::setMessage(const QString &message)
{
    placeMessage();
    m_window->setMessage(message);
}

void VideoSurface::setNotice(const QString &notice) { m_window->setNotice(notice); }

QImage VideoSurface::picture() const { return m_window->grabFramebuffer(); }

void VideoSurface::resizeEvent(QResizeEvent *event)
{
    placeMessage();
    QWidget::resizeEvent(event);
}

void VideoSurface::placeMessage()
{
    // The line keeps the height it has in the fallback surface, and stays on the picture.
    m_window->setMessageBaseline(qMin(window()->height() - 90, height() - 8));
}
