#include "widgets/ClickableMenu.h"

#include <QAction>
#include <QMouseEvent>

ClickableMenu::ClickableMenu(QWidget *parent)
    : QMenu(parent)
{
}

ClickableMenu::ClickableMenu(const QString &title, QWidget *parent)
    : QMenu(title, parent)
{
}

void ClickableMenu::mouseReleaseEvent(QMouseEvent *event)
{
    if (QAction *action = actionAt(event->pos())) {
        action->trigger();
        return;
    }
    QMenu::mouseReleaseEvent(event);
}
