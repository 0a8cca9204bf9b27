#pragma once

#include <QSlider>

// A slider that jumps straight to the clicked position; dragging the handle still works.
// ValueChangedSiganl reports every move the user makes (click, drag, wheel, keys), never
// values set by the program.
class ClickableSlider : public QSlider
{
    Q_OBJECT

public:
    explicit ClickableSlider(Qt::Orientation orientation, QWidget *parent = nullptr);

    // The value a left click at this point selects (integer arithmetic, truncated).
    int valueAt(const QPoint &position) const;

signals:
    void ValueChangedSiganl(int value);

protected:
    void mousePressEvent(QMouseEvent *event) override;
};
