#include "widgets/ImageButton.h"

#include "widgets/ImageStyle.h"
#include "widgets/KeyActivation.h"

ImageButton::ImageButton(const QString &image, const QString &hoverImage, QWidget *parent)
    : QPushButton(parent)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(KeyActivation::ButtonFocus);
    QString sheet = ImageStyle::rule(QStringLiteral("QPushButton{background:url("), image);
    if (!hoverImage.isEmpty())
        sheet += ImageStyle::rule(QStringLiteral("QPushButton::hover{ background:url("), hoverImage,
                                  QStringLiteral(".png) no-repeat center;}"));
    setStyleSheet(sheet);
}

void ImageButton::keyPressEvent(QKeyEvent *event)
{
    if (!KeyActivation::clickOnEnter(this, event))
        QPushButton::keyPressEvent(event);
}

void ImageButton::paintEvent(QPaintEvent *event)
{
    QPushButton::paintEvent(event);
    KeyActivation::paintFocusFrame(this);
}
