#include "widgets/BorderImageLabel.h"

#include "widgets/ImageStyle.h"

BorderImageLabel::BorderImageLabel(const QString &image, QWidget *parent)
    : QLabel(parent)
{
    setStyleSheet(ImageStyle::rule(QStringLiteral("QLabel{border-image:url("), image));
}
