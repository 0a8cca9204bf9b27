#pragma once

#include <QLabel>

// Label showing a resource image centred as its background.
class ImageLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ImageLabel(const QString &image, QWidget *parent = nullptr);

    void setImage(const QString &image);
};
