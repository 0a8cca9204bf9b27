#pragma once

#include <QDialog>

// Frameless translucent dialog that paints its style-sheet background.
class StyleDialog : public QDialog
{
    Q_OBJECT
public:
    explicit StyleDialog(const QString &objectName = QString(), QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};
