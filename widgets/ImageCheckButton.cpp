#include "widgets/ImageCheckButton.h"

#include "widgets/ImageStyle.h"
#include "widgets/KeyActivation.h"

ImageCheckButton::ImageCheckButton(const QString &image, const QString &checkedImage,
                                   QWidget *parent)
    : QPushButton(parent)
{
    setUp();
    setStyleSheet(
        ImageStyle::rule(QStringLiteral("QPushButton {background: url("), image)
        + ImageStyle::rule(QStringLiteral("QPushButton:checked {background: url("), checkedImage));
}

ImageCheckButton::ImageCheckButton(const QString &image, const QString &hoverImage,
                                   const QString &checkedImage, const QString &checkedHoverImage,
                                   QWidget *parent)
    : QPushButton(parent)
{
    setUp();
    setStyleSheet(
        ImageStyle::rule(QStringLiteral("QPushButton {background: url("), image)
        + ImageStyle::rule(QStringLiteral("QPushButton::hover {background: url("), hoverImage)
        + ImageStyle::rule(QStringLiteral("QPushButton::checked {background: url("), checkedImage)
        + ImageStyle::rule(QStringLiteral("QPushButton::checked::hover {background: url("),
                           checkedHoverImage));
}

void ImageCheckButton::setUp()
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(KeyActivation::ButtonFocus);
    setCheckable(true);
}

void ImageCheckButton::keyPressEvent(QKeyEvent *event)
{
    if (!KeyActivation::clickOnEnter(this, event))
        QPushButton::keyPressEvent(event);
}

void ImageCheckButton::paintEvent(QPaintEvent *event)
{
    QPushButton::paintEvent(event);
    KeyActivation::paintFocusFrame(this);
}
