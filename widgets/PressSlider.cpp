#include "widgets/PressSlider.h"

#include <QMouseEvent>

PressSlider::PressSlider(QWidget *parent, bool horizontal)
    : QSlider(horizontal ? Qt::Horizontal : Qt::Vertical, parent)
{
    setMouseTracking(true);
}

void PressSlider::mousePressEvent(QMouseEvent *event)
{
    QSlider::mousePressEvent(event);
    // The horizontal coordinate is used for both orientations, as the players expect.
    const double span = double(maximum() - minimum());
    const double ratio = width() > 0 ? double(event->pos().x()) / width() : 0.0;
    emit mousePress(int(minimum() + span * ratio));
}
