#pragma once

#include "widgets/StyleWidget.h"

#include <QVariant>

class QLineEdit;
class StyleButton;

// The registration form: account name, password and its confirmation; Enter in any field
// registers.
class RegistWidget : public StyleWidget
{
    Q_OBJECT

public:
    explicit RegistWidget(QWidget *parent = nullptr);

    // The first failing check's message in the order the form checks, or empty when the
    // texts (already trimmed) may be sent.
    static QString checkInput(const QString &name, const QString &password,
                              const QString &confirmation);

    QLineEdit *nameEdit() const { return m_nameEdit; }
    QLineEdit *passwordEdit() const { return m_passwordEdit; }
    QLineEdit *confirmEdit() const { return m_confirmEdit; }
    StyleButton *registerButton() const { return m_registerButton; }
    StyleButton *loginLink() const { return m_loginLink; }

signals:
    // The sign-in link was clicked.
    void LoginRequestedSignal();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void onRegisterClicked();
    void onHttpResponse(int type, int result, const QVariant &info);
    void setWaiting(bool waiting);

    QLineEdit *m_nameEdit = nullptr;
    QLineEdit *m_passwordEdit = nullptr;
    QLineEdit *m_confirmEdit = nullptr;
    StyleButton *m_registerButton = nullptr;
    StyleButton *m_loginLink = nullptr;
};
