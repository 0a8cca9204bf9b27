#pragma once

#include <QWidget>

// Frameless translucent window that draws a soft shadow ring along its edge,
// except when it fills the whole available desktop.
class BorderWidget : public QWidget
{
    Q_OBJECT
public:
    explicit BorderWidget(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};
