#include "ui/ReLoginWidget.h"

#include "api/APIHandler.h"
#include "app/Accessors.h"
#include "app/MainWindow.h"
#include "widgets/ImageLabel.h"
#include "widgets/StyleButton.h"

#include <QLabel>
#include <QVBoxLayout>

ReLoginWidget::ReLoginWidget(QWidget *parent)
    : PopWidget(QStringLiteral("重新登陆"), parent)
{
    QWidget *content = contentArea();
    auto *picture = new ImageLabel(QStringLiteral("wxpta_03"), content);
    picture->setFixedSize(77, 75);
    auto *message = new QLabel(QStringLiteral("修改成功"), content);
    message->setObjectName(QStringLiteral("xgcg"));
    m_reLoginButton =
        new StyleButton(QStringLiteral("重新登录"), QStringLiteral("btnRelogin"), content);

    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(100, 25, 100, 25);
    layout->addWidget(picture, 0, Qt::AlignCenter);
    layout->addWidget(message, 0, Qt::AlignCenter);
    layout->addWidget(m_reLoginButton, 0, Qt::AlignCenter);

    connect(m_reLoginButton, &QPushButton::clicked, this, &ReLoginWidget::onReLoginClicked);
}

void ReLoginWidget::onReLoginClicked()
{
    MainWindow *window = mainWidget();
    if (!window) {
        if (APIHandler *api = apiHandler())
            api->signOut();
        return;
    }
    // Signed out, and the sign-in form holds the account: only the new password is missing.
    window->signInAgain(QString());
    window->setReLoginVisible(false);
}
