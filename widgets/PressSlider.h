#pragma once

#include <QSlider>

// Slider that reports the value under the pressed point; the receiver
// decides whether to move the slider there.
class PressSlider : public QSlider
{
    Q_OBJECT
public:
    explicit PressSlider(QWidget *parent = nullptr, bool horizontal = true);

signals:
    void mousePress(int pos);

protected:
    void mousePressEvent(QMouseEvent *event) override;
};
