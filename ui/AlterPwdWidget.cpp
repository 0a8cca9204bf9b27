#include "ui/AlterPwdWidget.h"

#include "api/APIHandler.h"
#include "api/RequestType.h"
#include "app/Accessors.h"
#include "app/AppState.h"
#include "app/MainWindow.h"
#include "ui/PasswordRules.h"
#include "widgets/StyleButton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {
QLineEdit *passwordField(QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QStringLiteral("txtName"));
    edit->setPlaceholderText(QStringLiteral("请输入6-20个字符"));
    edit->setEchoMode(QLineEdit::Password);
    return edit;
}

QHBoxLayout *captionRow(const QString &caption, QLineEdit *edit, QWidget *parent)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(QStringLiteral("lblUserInfo"));
    // One width for the three captions keeps the fields in line.
    label->setFixedWidth(80);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    edit->setFixedWidth(220);
    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(label, 0, Qt::AlignRight);
    row->addWidget(edit, 0, Qt::AlignLeft);
    return row;
}

QLabel *separator(QWidget *parent)
{
    auto *line = new QLabel(QString(51, QLatin1Char('_')), parent);
    line->setObjectName(QStringLiteral("lblLine"));
    return line;
}
} // namespace

AlterPwdWidget::AlterPwdWidget(QWidget *parent)
    : PopWidget(QStringLiteral("修改密码"), parent)
{
    QWidget *content = contentArea();
    m_oldEdit = passwordField(content);
    m_newEdit = passwordField(content);
    m_confirmEdit = passwordField(content);
    m_saveButton = new StyleButton(QStringLiteral("保存"), QStringLiteral("btnEsc2"), content);
    m_saveButton->setFixedWidth(300);

    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(100, 25, 100, 25);
    layout->addLayout(captionRow(QStringLiteral("原始密码："), m_oldEdit, content));
    layout->setAlignment(layout->itemAt(0)->layout(), Qt::AlignCenter);
    layout->addWidget(separator(content), 0, Qt::AlignCenter);
    layout->addLayout(captionRow(QStringLiteral("新密码："), m_newEdit, content));
    layout->setAlignment(layout->itemAt(2)->layout(), Qt::AlignCenter);
    layout->addWidget(separator(content), 0, Qt::AlignCenter);
    layout->addLayout(captionRow(QStringLiteral("确认密码："), m_confirmEdit, content));
    layout->setAlignment(layout->itemAt(4)->layout(), Qt::AlignCenter);
    layout->addWidget(m_saveButton, 0, Qt::AlignCenter);

    connect(m_saveButton, &QPushButton::clicked, this, &AlterPwdWidget::onSaveClicked);
    for (QLineEdit *edit : {m_oldEdit, m_newEdit, m_confirmEdit}) {
        connect(edit, &QLineEdit::returnPressed, this, [this] {
            if (m_saveButton->isEnabled())
                onSaveClicked();
        });
    }
    if (APIHandler *api = apiHandler())
        connect(api, &APIHandler::HttpResponseSignal, this, &AlterPwdWidget::onHttpResponse);
}

QString AlterPwdWidget::checkInput(const QString &oldPassword, const QString &newPassword,
                                   const QString &confirmation)
{
    if (oldPassword.isEmpty())
        return QStringLiteral("请输入原密码");
    if (newPassword.isEmpty())
        return QStringLiteral("请输入新密码");
    if (confirmation.isEmpty())
        return QStringLiteral("请确认新密码");
    if (newPassword != confirmation)
        return QStringLiteral("两次输入的新密码不一样");
    if (!PasswordRules::lengthAccepted(newPassword) || !PasswordRules::lengthAccepted(confirmation))
        return QStringLiteral("密码长度不符合要求");
    return QString();
}

void AlterPwdWidget::onSaveClicked()
{
    const QString oldPassword = m_oldEdit->text().trimmed();
    const QString newPassword = m_newEdit->text().trimmed();
    const QString confirmation = m_confirmEdit->text().trimmed();
    const QString problem = checkInput(oldPassword, newPassword, confirmation);
    if (!problem.isEmpty()) {
        if (MainWindow *window = mainWidget())
            window->showMessage(problem, Message::OkOnly);
        return;
    }
    m_saveButton->setText(QStringLiteral("正在请求..."));
    m_saveButton->setEnabled(false);
    appState()->user.password = oldPassword;
    if (APIHandler *api = apiHandler())
        api->changePassword(newPassword);
}

void AlterPwdWidget::onHttpResponse(int type, int result, const QVariant &info)
{
    Q_UNUSED(result)
    Q_UNUSED(info)
    // The main window reports the outcome; the form only gets ready for the next try.
    if (type == ReqChangePassword)
        reset();
}

void AlterPwdWidget::reset()
{
    m_saveButton->setText(QStringLiteral("保存"));
    m_saveButton->setEnabled(true);
    m_oldEdit->clear();
    m_newEdit->clear();
    m_confirmEdit->clear();
}

void AlterPwdWidget::showEvent(QShowEvent *event)
{
    reset();
    PopWidget::showEvent(event);
}
