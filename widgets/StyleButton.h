#pragma once

#include <QPushButton>

// Text button styled by the application style sheet through its object name.
class StyleButton : public QPushButton
{
    Q_OBJECT
public:
    StyleButton(const QString &text, const QString &objectName, QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};
