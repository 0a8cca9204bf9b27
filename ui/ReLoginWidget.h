#pragma once

#include "widgets/PopWidget.h"

class StyleButton;

// Shown after a password change: the user must sign in again with the new password.
class ReLoginWidget : public PopWidget
{
    Q_OBJECT

public:
    explicit ReLoginWidget(QWidget *parent = nullptr);

    StyleButton *reLoginButton() const { return m_reLoginButton; }

private:
    void onReLoginClicked();

    StyleButton *m_reLoginButton = nullptr;
};
