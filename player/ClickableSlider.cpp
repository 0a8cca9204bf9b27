#include "player/ClickableSlider.h"

#include <QMouseEvent>

ClickableSlider::ClickableSlider(Qt::Orientation orientation, QWidget *parent)
    : QSlider(orientation, parent)
{
    setCursor(Qt::PointingHandCursor);
    connect(this, &QSlider::sliderMoved, this, &ClickableSlider::ValueChangedSiganl);
    // The wheel and the arrow and page keys move the slider through actions, whose target
    // position is set before the value follows. A drag's moves come through sliderMoved.
    connect(this, &QAbstractSlider::actionTriggered, this, [this](int action) {
        if (action == SliderNoAction || (action == SliderMove && isSliderDown()))
            return;
        emit ValueChangedSiganl(sliderPosition());
    });
}

int ClickableSlider::valueAt(const QPoint &position) const
{
    const qint64 span = qint64(maximum()) - minimum();
    if (orientation() == Qt::Horizontal)
        return width() > 0 ? int(minimum() + span * position.x() / width()) : minimum();
    return height() > 0 ? int(minimum() + span * (height() - position.y()) / height()) : minimum();
}

void ClickableSlider::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        const int value = qBound(minimum(), valueAt(event->pos()), maximum());
        setValue(value);
        emit ValueChangedSiganl(value);
        event->accept();
    }
    // The handle now sits under the cursor, so the base class starts a drag.
    QSlider::mousePressEvent(event);
}
