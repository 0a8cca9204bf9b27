#pragma once

#include <QMenu>

// Menu that triggers the entry under the cursor without closing itself.
class ClickableMenu : public QMenu
{
    Q_OBJECT
public:
    explicit ClickableMenu(QWidget *parent = nullptr);
    ClickableMenu(const QString &title, QWidget *parent = nullptr);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};
