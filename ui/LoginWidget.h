#pragma once

#include "widgets/StyleWidget.h"

#include <QVariant>

class QLabel;
class QLineEdit;
class StyleButton;

// The sign-in form: account name and password. It opens with the focus in the first empty
// field; Enter in the account field goes on to the password, Enter in the password signs in.
class LoginWidget : public StyleWidget
{
    Q_OBJECT

public:
    explicit LoginWidget(QWidget *parent = nullptr);

    QLineEdit *nameEdit() const { return m_nameEdit; }
    QLineEdit *passwordEdit() const { return m_passwordEdit; }
    StyleButton *loginButton() const { return m_loginButton; }
    StyleButton *registerLink() const { return m_registerLink; }
    // Puts an account in the form for signing in again: only its password is left to type.
    void setAccountName(const QString &name);

signals:
    // The registration link was clicked.
    void RegisterRequestedSignal();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void onLoginClicked();
    void onHttpResponse(int type, int result, const QVariant &info);
    void setWaiting(bool waiting);

    QLineEdit *m_nameEdit = nullptr;
    QLineEdit *m_passwordEdit = nullptr;
    StyleButton *m_loginButton = nullptr;
    StyleButton *m_registerLink = nullptr;
};
