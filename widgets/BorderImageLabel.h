#pragma once

#include <QLabel>

// Label whose resource image is stretched over the whole label.
class BorderImageLabel : public QLabel
{
    Q_OBJECT
public:
    explicit BorderImageLabel(const QString &image, QWidget *parent = nullptr);
};
