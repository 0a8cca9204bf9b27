#include "widgets/MaskWidget.h"

#include <QPainter>

MaskWidget::MaskWidget(int alpha, int margin, QWidget *parent)
    : QWidget(parent)
    , m_alpha(alpha)
    , m_margin(margin)
{
}

void MaskWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.fillRect(QRect(m_margin, m_margin, width() - 2 * m_margin, height() - 2 * m_margin),
                     QColor(0, 0, 0, m_alpha));
}
