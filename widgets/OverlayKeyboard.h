#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class PopWidget;
class QWidget;

// Keeps the keyboard inside the overlay a window shows last: while a dialog, a question or
// the loading overlay is open, keys meant for the page behind it go to the overlay instead,
// so typing or Enter never reaches a form the user cannot see. Closing an overlay gives the
// focus back to where it was before it opened.
class OverlayKeyboard : public QObject
{
    Q_OBJECT

public:
    static void opened(PopWidget *overlay);
    static void closed(PopWidget *overlay);
    // The overlay in front of the given window's pages, if one is open.
    static PopWidget *frontOverlay(const QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using QObject::QObject;
    static OverlayKeyboard &instance();

    QList<QPointer<PopWidget>> m_open; // oldest first
};
