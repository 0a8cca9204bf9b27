#include "widgets/BorderWidget.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QtMath>

BorderWidget::BorderWidget(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground, true);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
}

void BorderWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);

    const QScreen *screen = QGuiApplication::primaryScreen();
    const bool fillsDesktop = screen && size() == screen->availableGeometry().size();
    const int border = fillsDesktop ? 0 : 5;

    // Five one-pixel rings whose alpha falls off as 85, 45, 28, 15, 5.
    for (int i = 0; i < border; ++i) {
        QPainterPath path;
        path.setFillRule(Qt::WindingFill);
        const int d = border - i;
        path.addRoundedRect(d, d, width() - 2 * d, height() - 2 * d, 2, 2);
        QColor color(0, 0, 0);
        color.setAlpha(int(85 - 40 * qSqrt(i)));
        painter.setPen(color);
        painter.drawPath(path);
    }
}
