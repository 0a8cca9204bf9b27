#pragma once

#include <QPushButton>

// Checkable push button drawn by images for its unchecked and checked states.
class ImageCheckButton : public QPushButton
{
    Q_OBJECT
public:
    ImageCheckButton(const QString &image, const QString &checkedImage, QWidget *parent = nullptr);
    ImageCheckButton(const QString &image, const QString &hoverImage, const QString &checkedImage,
                     const QString &checkedHoverImage, QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void setUp();
};
