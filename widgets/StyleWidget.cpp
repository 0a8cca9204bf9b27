#include "widgets/StyleWidget.h"

#include <QPainter>
#include <QStyleOption>

StyleWidget::StyleWidget(const QString &objectName, QWidget *parent)
    : QWidget(parent)
{
    if (!objectName.isEmpty())
        setObjectName(objectName);
}

void StyleWidget::paintEvent(QPaintEvent *event)
{
    // A plain QWidget ignores "background" in a style sheet unless it draws PE_Widget itself.
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    QWidget::paintEvent(event);
}
