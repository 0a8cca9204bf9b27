#include "download/DownloadPathSettingWidget.h"

#include "widgets/StyleButton.h"

#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

DownloadPathSettingWidget::DownloadPathSettingWidget(QWidget *parent)
    : PopWidget(QStringLiteral("默认下载地址"), parent)
    , m_pathEdit(new QLineEdit(contentArea()))
    , m_changeButton(new StyleButton(QStringLiteral("更改目录"), QStringLiteral("btnChangeDir"),
                                     contentArea()))
    , m_loop(new QEventLoop(this))
{
    auto *hint =
        new QLabel(QStringLiteral("请设置下载路径，路径中不能包含中文及特殊字符"), contentArea());
    m_pathEdit->setObjectName(QStringLiteral("txtPath"));
    m_pathEdit->setEnabled(false);
    m_changeButton->setFixedSize(75, 25);

    auto *row = new QHBoxLayout;
    row->addWidget(m_pathEdit);
    row->addWidget(m_changeButton);
    auto *layout = new QVBoxLayout(contentArea());
    layout->setContentsMargins(45, 25, 45, 25);
    layout->addWidget(hint);
    layout->addLayout(row);
}

DownloadPathSettingWidget::~DownloadPathSettingWidget() { quit(); }

void DownloadPathSettingWidget::setPath(const QString &path) { m_pathEdit->setText(path); }

QString DownloadPathSettingWidget::path() const { return m_pathEdit->text(); }

void DownloadPathSettingWidget::exec()
{
    if (m_loop->isRunning())
        return;
    show();
    raise();
    m_loop->exec();
}

void DownloadPathSettingWidget::quit()
{
    if (m_loop->isRunning())
        m_loop->quit();
}

bool DownloadPathSettingWidget::isRunning() const { return m_loop->isRunning(); }

void DownloadPathSettingWidget::hideEvent(QHideEvent *event)
{
    // A caller waiting in exec() must not wait for an overlay nobody can see any more.
    quit();
    PopWidget::hideEvent(event);
}
