#include "widgets/ShadowWidget.h"

#include "widgets/ImageButton.h"
#include "widgets/ImageCheckButton.h"

#include <QHBoxLayout>
#include <QMouseEvent>
#include <QVBoxLayout>

ShadowWidget::ShadowWidget(QWidget *parent)
    : StyleWidget(QString(), parent)
{
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowMaximizeButtonHint);

    m_titleBar = new QWidget(this);
    m_body = new QWidget(this);
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    m_layout->addWidget(m_titleBar, 0);
    m_layout->addWidget(m_body, 0);

    m_minButton = new ImageButton(QStringLiteral("p_min"), QStringLiteral("p_min"), m_titleBar);
    m_minButton->setFixedSize(35, 35);
    m_maxButton =
        new ImageCheckButton(QStringLiteral("p_max"), QStringLiteral("p_max"),
                             QStringLiteral("p_normal"), QStringLiteral("p_normal"), m_titleBar);
    m_maxButton->setFixedSize(35, 35);
    m_closeButton =
        new ImageButton(QStringLiteral("p_close"), QStringLiteral("p_close"), m_titleBar);
    m_closeButton->setFixedSize(35, 35);

    m_titleLayout = new QHBoxLayout(m_titleBar);
    m_titleLayout->setContentsMargins(0, 0, 0, 0);
    m_titleLayout->setSpacing(0);
    m_titleLayout->addStretch();
    m_titleLayout->addWidget(m_minButton, 0, Qt::AlignTop);
    m_titleLayout->addWidget(m_maxButton, 0, Qt::AlignTop);
    m_titleLayout->addWidget(m_closeButton, 0, Qt::AlignTop);

    connect(m_minButton, &QPushButton::clicked, this, &QWidget::showMinimized);
    connect(m_closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(m_maxButton, &QPushButton::clicked, this, [this](bool checked) {
        if (checked)
            showMaximized();
        else
            showNormal();
    });
}

void ShadowWidget::mousePressEvent(QMouseEvent *event)
{
    m_dragOffset = event->pos();
    m_dragging = event->button() == Qt::LeftButton;
    StyleWidget::mousePressEvent(event);
}

void ShadowWidget::mouseReleaseEvent(QMouseEvent *event)
{
    m_dragging = false;
    StyleWidget::mouseReleaseEvent(event);
}

void ShadowWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragging) {
        if (isMaximized()) {
            // Leave the maximised state for real, so the unchecked button and the
            // window agree and the next click maximises again.
            showNormal();
            m_maxButton->setChecked(false);
        }
        move(event->globalPos() - m_dragOffset);
    }
    StyleWidget::mouseMoveEvent(event);
}
