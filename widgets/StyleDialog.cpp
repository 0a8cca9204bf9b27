#include "widgets/StyleDialog.h"

#include <QPainter>
#include <QStyleOption>

StyleDialog::StyleDialog(const QString &objectName, QWidget *parent)
    : QDialog(parent)
{
    setAttribute(Qt::WA_TranslucentBackground, true);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    if (!objectName.isEmpty())
        setObjectName(objectName);
}

void StyleDialog::paintEvent(QPaintEvent *event)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    QDialog::paintEvent(event);
}
