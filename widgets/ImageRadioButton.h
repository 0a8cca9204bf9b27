#pragma once

#include <QRadioButton>

// Radio button drawn entirely by four background images (plain, hover,
// checked, checked hover); the indicator is suppressed.
class ImageRadioButton : public QRadioButton
{
    Q_OBJECT
public:
    ImageRadioButton(const QString &image, const QString &hoverImage, const QString &checkedImage,
                     const QString &checkedHoverImage, QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};
