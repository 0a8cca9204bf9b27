#pragma once

#include "widgets/PopWidget.h"

class QLabel;

// Counts 30 seconds down, then powers the computer off and quits; closing it cancels.
// The count follows the overlay being shown or closed, not the window's visibility: a
// window hidden in the tray must still shut down when the downloads are done.
class ShutdownWidget : public PopWidget
{
    Q_OBJECT

public:
    static constexpr int kSeconds = 30;

    explicit ShutdownWidget(QWidget *parent = nullptr);

    static QString messageFor(int seconds);

    QLabel *messageLabel() const { return m_messageLabel; }
    int secondsLeft() const { return m_secondsLeft; }
    int timerId() const { return m_timerId; }

    void setVisible(bool visible) override;

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    void stopTimer();

    QLabel *m_messageLabel = nullptr;
    int m_secondsLeft = kSeconds;
    int m_timerId = 0;
};
