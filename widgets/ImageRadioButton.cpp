#include "widgets/ImageRadioButton.h"

#include "widgets/ImageStyle.h"
#include "widgets/KeyActivation.h"

ImageRadioButton::ImageRadioButton(const QString &image, const QString &hoverImage,
                                   const QString &checkedImage, const QString &checkedHoverImage,
                                   QWidget *parent)
    : QRadioButton(parent)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(KeyActivation::ButtonFocus);
    setStyleSheet(
        QStringLiteral("QRadioButton::indicator{border-image:none;}")
        + ImageStyle::rule(QStringLiteral("QRadioButton {background: url("), image)
        + ImageStyle::rule(QStringLiteral("QRadioButton::unchecked::hover {background: url("),
                           hoverImage)
        + ImageStyle::rule(QStringLiteral("QRadioButton::checked {background: url("), checkedImage)
        + ImageStyle::rule(QStringLiteral("QRadioButton::checked::hover {background: url("),
                           checkedHoverImage));
}

void ImageRadioButton::keyPressEvent(QKeyEvent *event)
{
    if (!KeyActivation::clickOnEnter(this, event))
        QRadioButton::keyPressEvent(event);
}

void ImageRadioButton::paintEvent(QPaintEvent *event)
{
    QRadioButton::paintEvent(event);
    KeyActivation::paintFocusFrame(this);
}
