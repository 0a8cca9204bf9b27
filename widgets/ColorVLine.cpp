#include "widgets/ColorVLine.h"

ColorVLine::ColorVLine(const QString &color, int width, QWidget *parent)
    : StyleWidget(QString(), parent)
{
    setStyleSheet(QStringLiteral("QWidget{background-color:") + color + QStringLiteral(";}"));
    setFixedWidth(width);
}
