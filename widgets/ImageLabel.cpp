#include "widgets/ImageLabel.h"

#include "widgets/ImageStyle.h"

ImageLabel::ImageLabel(const QString &image, QWidget *parent)
    : QLabel(parent)
{
    setImage(image);
}

void ImageLabel::setImage(const QString &image)
{
    setStyleSheet(ImageStyle::rule(QStringLiteral("QLabel{background:url("), image));
}
