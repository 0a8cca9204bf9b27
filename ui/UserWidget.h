#pragma once

#include "widgets/StyleWidget.h"

#include <QVariant>

class LoginWidget;
class RegistWidget;
class UserInfoWidget;

// The user page: exactly one of the sign-in, registration and user information forms.
class UserWidget : public StyleWidget
{
    Q_OBJECT

public:
    explicit UserWidget(QWidget *parent = nullptr);

    LoginWidget *loginForm() const { return m_loginForm; }
    RegistWidget *registForm() const { return m_registForm; }
    UserInfoWidget *userInfoForm() const { return m_userInfoForm; }

private:
    void onHttpResponse(int type, int result, const QVariant &info);
    void showOnly(QWidget *form);

    LoginWidget *m_loginForm = nullptr;
    RegistWidget *m_registForm = nullptr;
    UserInfoWidget *m_userInfoForm = nullptr;
};
