#include "widgets/LoadingWidget.h"

#include "widgets/ImageStyle.h"
#include "widgets/StyleWidget.h"

#include <QLabel>
#include <QMovie>
#include <QVBoxLayout>

LoadingWidget::LoadingWidget(QWidget *parent)
    : PopWidget(QString(), parent)
{
    m_boxFrame->hide();

    m_movie = new QMovie(ImageStyle::prefix() + QStringLiteral("loading.gif"), QByteArray(), this);
    m_panel = new StyleWidget(QStringLiteral("LoadingWidget"), this);
    m_panel->setFixedSize(200, 100);
    m_movieLabel = new QLabel(m_panel);
    m_movieLabel->setFixedSize(32, 32);
    m_movieLabel->setMovie(m_movie);
    m_textLabel = new QLabel(QStringLiteral("正在加载，请稍后"), m_panel);
    m_textLabel->setObjectName(QStringLiteral("lblClass"));

    auto *panelLayout = new QVBoxLayout(m_panel);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->addStretch();
    panelLayout->addWidget(m_movieLabel, 0, Qt::AlignCenter);
    panelLayout->addWidget(m_textLabel, 0, Qt::AlignCenter);
    panelLayout->addStretch();

    layout()->setContentsMargins(0, 0, 0, 0);
    layout()->addWidget(m_panel);
    layout()->setAlignment(m_panel, Qt::AlignCenter);

    m_movie->start();
}
