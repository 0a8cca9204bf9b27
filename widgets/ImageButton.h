#pragma once

#include <QPushButton>

// Push button drawn by an image, with an optional hover image.
class ImageButton : public QPushButton
{
    Q_OBJECT
public:
    ImageButton(const QString &image, const QString &hoverImage, QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};
