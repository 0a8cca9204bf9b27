#include "widgets/ColorHLine.h"

ColorHLine::ColorHLine(const QString &color, int height, QWidget *parent)
    : StyleWidget(QString(), parent)
{
    setStyleSheet(QStringLiteral("QWidget{background-color:") + color + QStringLiteral(";}"));
    setFixedHeight(height);
}
