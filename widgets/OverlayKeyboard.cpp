#include "widgets/OverlayKeyboard.h"

#include "widgets/PopWidget.h"

#include <QApplication>
#include <QKeyEvent>

OverlayKeyboard &OverlayKeyboard::instance()
{
    static OverlayKeyboard *keyboard = new OverlayKeyboard(qApp);
    return *keyboard;
}

void OverlayKeyboard::opened(PopWidget *overlay)
{
    OverlayKeyboard &self = instance();
    self.m_open.removeAll(overlay);
    self.m_open.removeAll(nullptr);
    if (self.m_open.isEmpty())
        qApp->installEventFilter(&self);
    self.m_open.append(overlay);
}

void OverlayKeyboard::closed(PopWidget *overlay)
{
    OverlayKeyboard &self = instance();
    self.m_open.removeAll(overlay);
    self.m_open.removeAll(nullptr);
    if (self.m_open.isEmpty())
        qApp->removeEventFilter(&self);
}

PopWidget *OverlayKeyboard::frontOverlay(const QWidget *window)
{
    const OverlayKeyboard &self = instance();
    for (int i = self.m_open.size() - 1; i >= 0; --i) {
        PopWidget *overlay = self.m_open.at(i);
        if (overlay && overlay->isVisible() && overlay->takesKeyboard()
            && overlay->window() == window)
            return overlay;
    }
    return nullptr;
}

bool OverlayKeyboard::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return false;
    auto *target = qobject_cast<QWidget *>(watched);
    if (!target)
        return false;
    PopWidget *front = frontOverlay(target->window());
    // Keys inside the overlay, and those it did not use passing on to its parents, go on.
    if (!front || front == target || front->isAncestorOf(target) || target->isAncestorOf(front))
        return false;
    // A key for the page behind the overlay: the overlay answers it instead.
    if (type == QEvent::KeyPress) {
        QWidget *inside = front->focusInside();
        auto *key = static_cast<QKeyEvent *>(event);
        QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->text(), key->isAutoRepeat(),
                       ushort(key->count()));
        QCoreApplication::sendEvent(inside, &copy);
    }
    return true;
}
