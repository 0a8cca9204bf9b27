#include "ui/AboutWidget.h"

#include "app/AppInfo.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

AboutWidget::AboutWidget(QWidget *parent)
    : PopWidget(titleText(), parent)
{
    QWidget *content = contentArea();
    auto *notice = new QLabel(QStringLiteral("Copyright © 2016-2026 Lumra. All rights reserved.\n")
                                  + AppInfo::displayName() + QStringLiteral(" 版权所有"),
                              content);
    notice->setObjectName(QStringLiteral("lblUserInfo"));
    auto *okButton = new QPushButton(QStringLiteral("确定"), content);
    okButton->setObjectName(QStringLiteral("btnOK3"));
    okButton->setCursor(Qt::PointingHandCursor);

    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(okButton);
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(45, 25, 45, 25);
    layout->addWidget(notice);
    layout->addLayout(buttonRow);

    connect(okButton, &QPushButton::clicked, this, &QWidget::close);
}

QString AboutWidget::titleText()
{
    return QStringLiteral("关于 ") + AppInfo::displayName() + QLatin1Char(' ')
           + AppInfo::programVersion();
}
