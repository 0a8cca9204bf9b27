#include "ui/RegistWidget.h"

#include "api/APIHandler.h"
#include "api/RequestType.h"
#include "app/Accessors.h"
#include "app/MainWindow.h"
#include "ui/PasswordRules.h"
#include "widgets/StyleButton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {
QLineEdit *field(const QString &placeholder, bool password, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QStringLiteral("txtName"));
    edit->setPlaceholderText(placeholder);
    if (password)
        edit->setEchoMode(QLineEdit::Password);
    return edit;
}

QHBoxLayout *captionRow(const QString &caption, QLineEdit *edit, QWidget *parent)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(QStringLiteral("TipLabel"));
    label->setFixedWidth(100);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(label);
    row->addWidget(edit);
    return row;
}
} // namespace

RegistWidget::RegistWidget(QWidget *parent)
    : StyleWidget(QStringLiteral("ContentWidget"), parent)
{
    setFixedWidth(400);
    setAutoFillBackground(true);
    m_nameEdit = field(QStringLiteral("请输入账号"), false, this);
    m_passwordEdit = field(QStringLiteral("（请输入6-20个字符）"), true, this);
    m_confirmEdit = field(QStringLiteral("（请输入6-20个字符）"), true, this);
    m_registerButton = new StyleButton(QStringLiteral("注册"), QStringLiteral("btnLogin"), this);
    m_loginLink =
        new StyleButton(QStringLiteral("已有帐号，请登录"), QStringLiteral("lblReg"), this);

    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->addStretch(2);
    layout->addLayout(captionRow(QStringLiteral("账号："), m_nameEdit, this));
    layout->addSpacing(2);
    layout->addLayout(captionRow(QStringLiteral("密码："), m_passwordEdit, this));
    layout->addSpacing(2);
    layout->addLayout(captionRow(QStringLiteral("确认密码："), m_confirmEdit, this));
    layout->addSpacing(20);
    layout->addWidget(m_registerButton);
    layout->addSpacing(20);
    layout->addWidget(m_loginLink, 0, Qt::AlignHCenter);
    layout->addStretch(3);

    connect(m_registerButton, &QPushButton::clicked, this, &RegistWidget::onRegisterClicked);
    // Enter in any field registers, unless a registration is already on its way.
    for (QLineEdit *edit : {m_nameEdit, m_passwordEdit, m_confirmEdit}) {
        connect(edit, &QLineEdit::returnPressed, this, [this] {
            if (m_registerButton->isEnabled())
                onRegisterClicked();
        });
    }
    connect(m_loginLink, &QPushButton::clicked, this, &RegistWidget::LoginRequestedSignal);
    if (APIHandler *api = apiHandler())
        connect(api, &APIHandler::HttpResponseSignal, this, &RegistWidget::onHttpResponse);
}

QString RegistWidget::checkInput(const QString &name, const QString &password,
                                 const QString &confirmation)
{
    if (name.isEmpty())
        return QStringLiteral("请输入用户名");
    if (password.isEmpty())
        return QStringLiteral("请输入密码");
    if (confirmation.isEmpty())
        return QStringLiteral("请确认密码");
    if (password != confirmation)
        return QStringLiteral("两次输入的密码不一样");
    if (!PasswordRules::lengthAccepted(password) || !PasswordRules::lengthAccepted(confirmation))
        return QStringLiteral("密码长度不符合要求");
    return QString();
}

void RegistWidget::onRegisterClicked()
{
    const QString name = m_nameEdit->text().trimmed();
    const QString password = m_passwordEdit->text().trimmed();
    const QString confirmation = m_confirmEdit->text().trimmed();
    const QString problem = checkInput(name, password, confirmation);
    if (!problem.isEmpty()) {
        if (MainWindow *window = mainWidget())
            window->showMessage(problem, Message::OkOnly);
        return;
    }
    setWaiting(true);
    // The new account is only sent: the app state's user stays whoever signed in.
    if (APIHandler *api = apiHandler())
        api->registerUser(name, password);
}

void RegistWidget::onHttpResponse(int type, int result, const QVariant &info)
{
    if (type != ReqRegister)
        return;
    setWaiting(false);
    MainWindow *window = mainWidget();
    if (!window)
        return;
    if (result)
        window->showMessage(QStringLiteral("已成功注册，请登录"), Message::OkOnly);
    else if (!info.toString().isEmpty())
        window->showMessage(info.toString(), Message::OkOnly);
}

void RegistWidget::showEvent(QShowEvent *event)
{
    StyleWidget::showEvent(event);
    m_nameEdit->setFocus(Qt::OtherFocusReason);
}

void RegistWidget::setWaiting(bool waiting)
{
    // The password fields and the link stay usable while the request is on its way.
    m_registerButton->setText(waiting ? QStringLiteral("正在请求...") : QStringLiteral("注册"));
    m_registerButton->setEnabled(!waiting);
    m_nameEdit->setEnabled(!waiting);
}
