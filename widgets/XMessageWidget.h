#pragma once

#include "widgets/MessageMode.h"
#include "widgets/PopWidget.h"

#include <QTimer>

class QEventLoop;
class QLabel;
class StyleButton;

// The program's message box: a modal question (showMessage) that keeps the
// event loop running while it waits, and a notice that closes itself (showTip).
class XMessageWidget : public PopWidget
{
    Q_OBJECT
public:
    explicit XMessageWidget(QWidget *parent = nullptr);
    ~XMessageWidget() override;

    // Message::OkOnly asks with OK only; any other mode adds Cancel.
    // Returns a Message::Answer.
    int showMessage(const QString &message, int mode);
    void showTip(const QString &message, int msec);

    int result() const { return m_result; }
    QLabel *messageLabel() const { return m_messageLabel; }
    StyleButton *okButton() const { return m_okButton; }
    StyleButton *cancelButton() const { return m_cancelButton; }

    // A timed notice leaves the keyboard to the page; a question holds it.
    bool takesKeyboard() const override { return !m_showingTip; }

protected:
    void hideEvent(QHideEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    QWidget *firstFocus() const override;
    // Esc answers Cancel, or OK when OK is the only answer.
    void escapePressed() override;

private:
    void answer(int result);
    void endWaitingQuestion(int result);

    int m_result = 1;
    QLabel *m_messageLabel = nullptr;
    StyleButton *m_okButton = nullptr;
    StyleButton *m_cancelButton = nullptr;
    // Loop of the question now waiting, if any; each showMessage runs its own
    // so a question taken over by a newer one can still unwind with its result.
    QEventLoop *m_waitingLoop = nullptr;
    QTimer m_tipTimer;
    bool m_showingTip = false;
};
