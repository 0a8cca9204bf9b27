#include "ui/UserWidget.h"

#include "api/APIHandler.h"
#include "api/RequestType.h"
#include "app/Accessors.h"
#include "app/AppState.h"
#include "ui/LoginWidget.h"
#include "ui/RegistWidget.h"
#include "ui/UserInfoWidget.h"

#include <QVBoxLayout>

UserWidget::UserWidget(QWidget *parent)
    : StyleWidget(QStringLiteral("MainWidget"), parent)
{
    // The forms connect to the service client first, so their reactions run before the switch.
    m_loginForm = new LoginWidget(this);
    m_registForm = new RegistWidget(this);
    m_userInfoForm = new UserInfoWidget(this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_loginForm, 0, Qt::AlignHCenter);
    layout->addWidget(m_registForm, 0, Qt::AlignHCenter);
    layout->addWidget(m_userInfoForm, 0, Qt::AlignTop);

    m_loginForm->hide();
    m_registForm->hide();
    m_userInfoForm->hide();
    const AppState *state = appState();
    showOnly(state && state->signedIn ? static_cast<QWidget *>(m_userInfoForm) : m_loginForm);

    connect(m_loginForm, &LoginWidget::RegisterRequestedSignal, this,
            [this] { showOnly(m_registForm); });
    connect(m_registForm, &RegistWidget::LoginRequestedSignal, this,
            [this] { showOnly(m_loginForm); });
    if (APIHandler *api = apiHandler())
        connect(api, &APIHandler::HttpResponseSignal, this, &UserWidget::onHttpResponse);
}

void UserWidget::onHttpResponse(int type, int result, const QVariant &info)
{
    Q_UNUSED(info)
    if (type == ReqLogin)
        showOnly(result ? static_cast<QWidget *>(m_userInfoForm) : m_loginForm);
    else if (type == ReqRegister && result)
        showOnly(m_loginForm);
}

void UserWidget::showOnly(QWidget *form)
{
    for (QWidget *each : {static_cast<QWidget *>(m_loginForm), static_cast<QWidget *>(m_registForm),
                          static_cast<QWidget *>(m_userInfoForm)}) {
        if (each != form)
            each->hide();
    }
    form->show();
}
