#include "ui/LoginWidget.h"

#include "api/APIHandler.h"
#include "api/RequestType.h"
#include "app/Accessors.h"
#include "app/MainWindow.h"
#include "widgets/StyleButton.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {
QLabel *iconLabel(const QString &objectName, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(objectName);
    label->setFixedWidth(52);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

QHBoxLayout *fieldRow(QWidget *icon, QWidget *field)
{
    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(icon);
    row->addWidget(field);
    return row;
}
} // namespace

LoginWidget::LoginWidget(QWidget *parent)
    : StyleWidget(QStringLiteral("ContentWidget"), parent)
{
    setFixedWidth(400);
    m_nameEdit = new QLineEdit(this);
    m_nameEdit->setObjectName(QStringLiteral("txtName"));
    m_nameEdit->setPlaceholderText(QStringLiteral("请输入您的手机号"));
    m_passwordEdit = new QLineEdit(this);
    m_passwordEdit->setObjectName(QStringLiteral("txtName"));
    m_passwordEdit->setPlaceholderText(QStringLiteral("请输入密码"));
    m_passwordEdit->setEchoMode(QLineEdit::Password);
    m_nameEdit->installEventFilter(this);
    m_passwordEdit->installEventFilter(this);
    m_loginButton = new StyleButton(QStringLiteral("登录"), QStringLiteral("btnLogin"), this);
    m_registerLink =
        new StyleButton(QStringLiteral("没有账号，请注册"), QStringLiteral("lblReg"), this);

    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->addStretch(2);
    layout->addLayout(fieldRow(iconLabel(QStringLiteral("lblName"), this), m_nameEdit));
    layout->addSpacing(2);
    layout->addLayout(fieldRow(iconLabel(QStringLiteral("lblPwdTip"), this), m_passwordEdit));
    layout->addSpacing(20);
    layout->addWidget(m_loginButton);
    layout->addSpacing(20);
    layout->addWidget(m_registerLink, 0, Qt::AlignHCenter);
    layout->addStretch(3);

    connect(m_loginButton, &QPushButton::clicked, this, &LoginWidget::onLoginClicked);
    connect(m_registerLink, &QPushButton::clicked, this, &LoginWidget::RegisterRequestedSignal);
    if (APIHandler *api = apiHandler())
        connect(api, &APIHandler::HttpResponseSignal, this, &LoginWidget::onHttpResponse);
}

bool LoginWidget::eventFilter(QObject *watched, QEvent *event)
{
    const bool enter = event->type() == QEvent::KeyPress
                       && (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Return
                           || static_cast<QKeyEvent *>(event)->key() == Qt::Key_Enter);
    if (watched == m_nameEdit && enter) {
        m_passwordEdit->setFocus(Qt::TabFocusReason);
        return true;
    }
    if (watched == m_passwordEdit && event->type() == QEvent::KeyPress) {
        if (enter) {
            // A second Enter while a sign-in is on its way must not send another.
            if (m_loginButton->isEnabled())
                onLoginClicked();
            return true;
        }
    }
    return StyleWidget::eventFilter(watched, event);
}

void LoginWidget::showEvent(QShowEvent *event)
{
    StyleWidget::showEvent(event);
    (m_nameEdit->text().trimmed().isEmpty() ? m_nameEdit : m_passwordEdit)
        ->setFocus(Qt::OtherFocusReason);
}

void LoginWidget::setAccountName(const QString &name)
{
    m_nameEdit->setText(name);
    m_passwordEdit->clear();
    if (isVisible())
        (name.isEmpty() ? m_nameEdit : m_passwordEdit)->setFocus(Qt::OtherFocusReason);
}

void LoginWidget::onLoginClicked()
{
    const QString name = m_nameEdit->text().trimmed();
    const QString password = m_passwordEdit->text().trimmed();
    MainWindow *window = mainWidget();
    if (name.isEmpty()) {
        if (window)
            window->showMessage(QStringLiteral("请输入用户名！"), Message::OkOnly);
        return;
    }
    if (password.isEmpty()) {
        if (window)
            window->showMessage(QStringLiteral("请输入密码！"), Message::OkOnly);
        return;
    }
    setWaiting(true);
    // The app state keeps its user until the service has accepted this one.
    if (APIHandler *api = apiHandler())
        api->login(name, password);
}

void LoginWidget::onHttpResponse(int type, int result, const QVariant &info)
{
    if (type != ReqLogin)
        return;
    setWaiting(false);
    // Once in, the typed password has done its work: after 退出 nobody at this computer
    // may find it in the form and sign in as this user again.
    if (result)
        m_passwordEdit->clear();
    // Refused: the password field again, ready to be typed over once the message is read.
    if (!result && isVisible()) {
        m_passwordEdit->setFocus(Qt::OtherFocusReason);
        m_passwordEdit->selectAll();
    }
    const QString text = info.toString();
    if (!result && !text.isEmpty()) {
        if (MainWindow *window = mainWidget())
            window->showMessage(text, Message::OkOnly);
    }
}

void LoginWidget::setWaiting(bool waiting)
{
    m_loginButton->setText(waiting ? QStringLiteral("正在登录...") : QStringLiteral("登录"));
    m_loginButton->setEnabled(!waiting);
    m_nameEdit->setEnabled(!waiting);
    m_passwordEdit->setEnabled(!waiting);
    m_registerLink->setEnabled(!waiting);
}
