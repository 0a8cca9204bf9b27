#include "widgets/XMessageWidget.h"

#include "widgets/ImageButton.h"
#include "widgets/StyleButton.h"

#include <QEventLoop>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>

namespace {
constexpr int kOk = Message::Ok;
constexpr int kCancel = Message::Cancel;
} // namespace

XMessageWidget::XMessageWidget(QWidget *parent)
    : PopWidget(QStringLiteral("确认"), parent)
{
    m_messageLabel = new QLabel(m_contentArea);
    m_messageLabel->setObjectName(QStringLiteral("lblUserInfo"));
    m_messageLabel->setWordWrap(true);
    m_messageLabel->setAlignment(Qt::AlignCenter);
    // Word wrap alone would squeeze long messages into a narrow column.
    m_messageLabel->setMinimumWidth(260);
    m_okButton = new StyleButton(QStringLiteral("确认"), QStringLiteral("btnOK"), m_contentArea);
    m_okButton->setFixedSize(105, 35);
    m_cancelButton =
        new StyleButton(QStringLiteral("取消"), QStringLiteral("btnCancel"), m_contentArea);
    m_cancelButton->setFixedSize(105, 35);

    auto *layout = new QVBoxLayout(m_contentArea);
    layout->setSpacing(20);
    layout->setContentsMargins(20, 20, 20, 20);

    auto *messageRow = new QHBoxLayout;
    messageRow->setContentsMargins(40, 0, 40, 0);
    messageRow->addWidget(m_messageLabel, 0, Qt::AlignCenter);
    layout->addLayout(messageRow);

    auto *buttonRow = new QHBoxLayout;
    buttonRow->setContentsMargins(40, 0, 40, 0);
    buttonRow->addWidget(m_cancelButton);
    buttonRow->addWidget(m_okButton);
    layout->addLayout(buttonRow);
    layout->setAlignment(buttonRow, Qt::AlignCenter);

    // The base class already closes on the title-bar button; the answer must come first.
    disconnect(m_closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(m_closeButton, &QPushButton::clicked, this, [this] { answer(kCancel); });
    connect(m_okButton, &QPushButton::clicked, this, [this] { answer(kOk); });
    connect(m_cancelButton, &QPushButton::clicked, this, [this] { answer(kCancel); });

    m_tipTimer.setSingleShot(true);
    connect(&m_tipTimer, &QTimer::timeout, this, &QWidget::close);
}

XMessageWidget::~XMessageWidget()
{
    // A caller still waiting must not wait for a box that no longer exists.
    endWaitingQuestion(kCancel);
}

int XMessageWidget::showMessage(const QString &message, int mode)
{
    // A question already waiting on this box is taken over: it ends as Cancel.
    endWaitingQuestion(kCancel);
    m_tipTimer.stop();

    m_messageLabel->setText(message);
    m_cancelButton->setVisible(mode != Message::OkOnly);
    m_okButton->show();
    m_showingTip = false;
    show();
    // Already open as a notice: the question takes the keyboard all the same.
    takeKeyboard();

    QEventLoop loop;
    m_waitingLoop = &loop;
    QPointer<XMessageWidget> self(this);
    const int answer = loop.exec();
    if (self && m_waitingLoop == &loop)
        m_waitingLoop = nullptr;
    return answer;
}

void XMessageWidget::showTip(const QString &message, int msec)
{
    // The notice replaces a waiting question, which ends as Cancel rather than
    // leaving its caller stuck behind a box that shows no buttons.
    endWaitingQuestion(kCancel);

    m_messageLabel->setText(message);
    m_okButton->hide();
    m_cancelButton->hide();
    m_showingTip = true;
    show();
    m_tipTimer.start(msec);
}

void XMessageWidget::hideEvent(QHideEvent *event)
{
    // Closed or hidden by its owner while asking: the question ends as Cancel.
    // A hidden ancestor (a minimised main window) does not count.
    if (isHidden())
        endWaitingQuestion(kCancel);
    PopWidget::hideEvent(event);
}

void XMessageWidget::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && m_okButton->isVisible()) {
        // Enter answers with the button that has the focus; OK is the default.
        answer(m_cancelButton->hasFocus() && m_cancelButton->isVisible() ? kCancel : kOk);
        return;
    }
    PopWidget::keyPressEvent(event);
}

QWidget *XMessageWidget::firstFocus() const
{
    if (m_okButton->isVisible())
        return m_okButton;
    return PopWidget::firstFocus();
}

void XMessageWidget::escapePressed()
{
    if (m_cancelButton->isVisible())
        answer(kCancel);
    else if (m_okButton->isVisible())
        answer(kOk);
    else
        close();
}

void XMessageWidget::answer(int result)
{
    m_result = result;
    endWaitingQuestion(result);
    close();
}

void XMessageWidget::endWaitingQuestion(int result)
{
    if (!m_waitingLoop)
        return;
    m_waitingLoop->exit(result);
    m_waitingLoop = nullptr;
}
