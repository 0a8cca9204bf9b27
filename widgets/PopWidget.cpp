#include "widgets/PopWidget.h"

#include "widgets/ImageButton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

PopWidget::PopWidget(const QString &title, QWidget *parent)
    : QWidget(parent)
{
    m_closeButton = new ImageButton(QStringLiteral("close_m"), QStringLiteral("close_m"), this);
    m_boxFrame = new QWidget(this);
    m_boxFrame->setObjectName(QStringLiteral("MessageBox"));
    m_titleBar = new QWidget(m_boxFrame);
    m_titleBar->setObjectName(QStringLiteral("MessageBoxTitle"));
    m_titleBar->setFixedHeight(45);
    m_contentArea = new QWidget(m_boxFrame);
    m_contentArea->setObjectName(QStringLiteral("MessageBox"));
    // Named boxes are plain QWidgets; without this their style-sheet background would not show.
    m_boxFrame->setAttribute(Qt::WA_StyledBackground, true);
    m_titleBar->setAttribute(Qt::WA_StyledBackground, true);
    m_contentArea->setAttribute(Qt::WA_StyledBackground, true);

    m_titleLabel = new QLabel(title, m_titleBar);
    m_titleLabel->setObjectName(QStringLiteral("lblUserInfo"));
    auto *titleLayout = new QHBoxLayout(m_titleBar);
    titleLayout->addWidget(m_titleLabel);
    titleLayout->addStretch();
    titleLayout->addWidget(m_closeButton);
    m_closeButton->setFixedSize(30, 30);

    auto *boxLayout = new QVBoxLayout(m_boxFrame);
    boxLayout->setContentsMargins(0, 0, 0, 0);
    boxLayout->setSpacing(0);
    boxLayout->addWidget(m_titleBar);
    boxLayout->addWidget(m_contentArea);

    auto *overlayLayout = new QVBoxLayout(this);
    overlayLayout->addWidget(m_boxFrame, 0, Qt::AlignCenter);

    connect(m_closeButton, &QPushButton::clicked, this, &QWidget::close);
}

void PopWidget::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0, 120));
    QWidget::paintEvent(event);
}
