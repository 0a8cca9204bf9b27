#include "ui/ShutdownWidget.h"

#include "app/Quit.h"
#include "platform/Shutdown.h"
#include "widgets/StyleButton.h"

#include <QLabel>
#include <QTimerEvent>
#include <QVBoxLayout>

ShutdownWidget::ShutdownWidget(QWidget *parent)
    : PopWidget(QStringLiteral("即将关机"), parent)
{
    QWidget *content = contentArea();
    m_messageLabel = new QLabel(messageFor(kSeconds), content);
    m_messageLabel->setObjectName(QStringLiteral("lblUserInfo"));
    m_messageLabel->setAlignment(Qt::AlignHCenter);
    auto *cancel = new StyleButton(QStringLiteral("取消"), QStringLiteral("btnCancel"), content);

    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(45, 15, 45, 15);
    layout->addWidget(m_messageLabel);
    layout->addWidget(cancel);

    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
}

QString ShutdownWidget::messageFor(int seconds)
{
    return QStringLiteral("将在") + QString::number(seconds) + QStringLiteral("秒后关机");
}

void ShutdownWidget::setVisible(bool visible)
{
    const bool wasOpen = !isHidden();
    PopWidget::setVisible(visible);
    if (!visible) {
        stopTimer();
    } else if (!wasOpen) {
        m_secondsLeft = kSeconds;
        // A countdown cancelled earlier must not show its old number on reopening.
        m_messageLabel->setText(messageFor(kSeconds));
        m_timerId = startTimer(1000, Qt::CoarseTimer);
    }
}

void ShutdownWidget::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_timerId) {
        PopWidget::timerEvent(event);
        return;
    }
    const int shown = m_secondsLeft--;
    m_messageLabel->setText(messageFor(shown));
    if (m_secondsLeft == 0) {
        // Exactly one shutdown, even if quitting takes a while.
        stopTimer();
        Shutdown::start();
        quitApplication();
    }
}

void ShutdownWidget::stopTimer()
{
    if (m_timerId != 0) {
        killTimer(m_timerId);
        m_timerId = 0;
    }
}
