#pragma once

#include <QWidget>

// Plain widget that paints its style-sheet background.
class StyleWidget : public QWidget
{
    Q_OBJECT
public:
    explicit StyleWidget(const QString &objectName = QString(), QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};
