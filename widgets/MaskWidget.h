#pragma once

#include <QWidget>

// Translucent black veil over its area, optionally leaving a margin free.
class MaskWidget : public QWidget
{
    Q_OBJECT
public:
    MaskWidget(int alpha = 60, int margin = 0, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_alpha = 60;
    int m_margin = 0;
};
