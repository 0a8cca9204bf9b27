#include "ui/UserInfoWidget.h"

#include "api/APIHandler.h"
#include "api/RequestType.h"
#include "app/Accessors.h"
#include "app/AppState.h"
#include "app/MainWindow.h"
#include "widgets/BorderImageLabel.h"
#include "widgets/ImageButton.h"
#include "widgets/StyleButton.h"

#include <QBitmap>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QSpacerItem>
#include <QVBoxLayout>

namespace {
constexpr int kAvatarRadius = 35;
constexpr int kAvatarSide = 2 * kAvatarRadius;
constexpr int kAvatarTop = 80;
constexpr int kNicknameTop = 160;

QLabel *separator(int underscores, QWidget *parent)
{
    auto *line = new QLabel(QString(underscores, QLatin1Char('_')), parent);
    line->setObjectName(QStringLiteral("lblLine"));
    return line;
}
} // namespace

UserInfoWidget::UserInfoWidget(QWidget *parent)
    : StyleWidget(QString(), parent)
{
    m_banner = new BorderImageLabel(QStringLiteral("bar"), this);
    m_banner->setFixedHeight(120);

    auto *panel = new QWidget(this);
    panel->setFixedWidth(380);
    m_accountLabel = new QLabel(QStringLiteral("手机"), panel);
    m_accountLabel->setObjectName(QStringLiteral("lblUserInfo"));
    auto *passwordCaption = new QLabel(QStringLiteral("修改密码"), panel);
    passwordCaption->setObjectName(QStringLiteral("lblUserInfo"));
    m_passwordButton = new ImageButton(QStringLiteral("alterpwd"), QString(), panel);
    m_passwordButton->setObjectName(QStringLiteral("alterpwd"));
    m_passwordButton->setFixedSize(30, 25);
    m_exitButton = new StyleButton(QStringLiteral("退出"), QStringLiteral("btnEsc"), panel);

    auto *passwordRow = new QHBoxLayout;
    passwordRow->setContentsMargins(0, 0, 0, 0);
    passwordRow->addWidget(passwordCaption);
    passwordRow->addWidget(m_passwordButton, 0, Qt::AlignRight);

    auto *panelLayout = new QVBoxLayout(panel);
    panelLayout->addWidget(m_accountLabel);
    panelLayout->addWidget(separator(60, panel));
    panelLayout->addSpacing(20);
    panelLayout->addLayout(passwordRow);
    panelLayout->addWidget(separator(60, panel));
    // The gaps give way first when the window is small (800×600), so the form never pushes
    // the window taller than the screen.
    panelLayout->addSpacerItem(
        new QSpacerItem(0, 100, QSizePolicy::Minimum, QSizePolicy::Preferred));
    panelLayout->addWidget(m_exitButton);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setAlignment(Qt::AlignTop);
    layout->addWidget(m_banner);
    // At least enough for the avatar and the nickname floating over it.
    layout->addSpacing(kNicknameTop + 30 - 120);
    layout->addSpacerItem(new QSpacerItem(0, 130 - (kNicknameTop + 30 - 120), QSizePolicy::Minimum,
                                          QSizePolicy::Preferred));
    layout->addWidget(panel, 0, Qt::AlignHCenter);

    // Placed by hand over the banner and the gap below it, so they belong to no layout.
    m_avatarLabel = new QLabel(this);
    m_avatarLabel->hide();
    m_nicknameLabel = new QLabel(this);
    m_nicknameLabel->setObjectName(QStringLiteral("lblUserInfo"));
    m_nicknameLabel->hide();

    connect(m_exitButton, &QPushButton::clicked, this, [] {
        if (APIHandler *api = apiHandler())
            api->signOut();
    });
    connect(m_passwordButton, &QPushButton::clicked, this, [] {
        if (MainWindow *window = mainWidget())
            window->setPasswordDialogVisible(true);
    });
    if (APIHandler *api = apiHandler())
        connect(api, &APIHandler::HttpResponseSignal, this, &UserInfoWidget::onHttpResponse);
}

QPixmap UserInfoWidget::circularPixmap(const QPixmap &source, int radius)
{
    if (source.isNull())
        return QPixmap();
    const QSize size(2 * radius, 2 * radius);
    QBitmap mask(size);
    mask.fill(Qt::white);
    QPainter painter(&mask);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    // Radii beyond half the side make the rounded rectangle a circle.
    painter.drawRoundedRect(QRect(QPoint(0, 0), size), 99, 99, Qt::AbsoluteSize);
    painter.end();
    QPixmap round = source.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    round.setMask(mask);
    return round;
}

QPixmap UserInfoWidget::defaultAvatar()
{
    // A plain figure on a light grey ground, drawn at twice the shown size.
    QPixmap picture(2 * kAvatarSide, 2 * kAvatarSide);
    picture.fill(QColor(0xdd, 0xe1, 0xe6));
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(45, 24, 50, 50));
    painter.drawEllipse(QRectF(22, 84, 96, 90));
    return picture;
}

void UserInfoWidget::onHttpResponse(int type, int result, const QVariant &info)
{
    if (type == ReqAvatar) {
        // The picture of the user now shown has arrived.
        const AppState *state = appState();
        if (result && state && info.toString() == state->avatarPath && isVisible())
            loadAvatar();
        return;
    }
    if (type != ReqLogin || !result)
        return;
    // Another user, or the same one again: the picture is looked up afresh.
    m_avatarSource.clear();
    if (isVisible())
        loadAvatar();
    const UserSession &user = appState()->user;
    m_accountLabel->setText(QStringLiteral("手机：") + user.loginName);
    m_nicknameLabel->setText(user.nickname);
    m_nicknameLabel->setObjectName(QStringLiteral("lblUserInfo"));
    m_nicknameLabel->adjustSize();
    if (user.nickname.isEmpty())
        m_nicknameLabel->resize(0, m_nicknameLabel->height());
    m_nicknameLabel->move((width() - m_nicknameLabel->width()) / 2, kNicknameTop);
    m_nicknameLabel->show();
    m_avatarLabel->show();
}

void UserInfoWidget::showEvent(QShowEvent *event)
{
    loadAvatar();
    StyleWidget::showEvent(event);
}

void UserInfoWidget::loadAvatar()
{
    const AppState *state = appState();
    const QString path = state ? state->avatarPath : QString();
    const QFileInfo file(path);
    const QDateTime stamp = file.exists() ? file.lastModified() : QDateTime();
    const qint64 size = file.exists() ? file.size() : -1;
    if (!m_avatarLabel->pixmap(Qt::ReturnByValue).isNull() && path == m_avatarSource
        && stamp == m_avatarStamp && size == m_avatarSize)
        return;
    QPixmap picture;
    if (!path.isEmpty())
        picture.load(path);
    m_avatarSource = path;
    m_avatarStamp = stamp;
    m_avatarSize = size;
    m_avatarLabel->setPixmap(
        circularPixmap(picture.isNull() ? defaultAvatar() : picture, kAvatarRadius));
    m_avatarLabel->setFixedSize(kAvatarSide, kAvatarSide);
    m_avatarLabel->move((width() - kAvatarSide) / 2, kAvatarTop);
}

void UserInfoWidget::placeFloatingLabels()
{
    if (m_avatarLabel->isVisible())
        m_avatarLabel->move((width() - kAvatarSide) / 2, kAvatarTop);
    if (m_nicknameLabel->isVisible())
        m_nicknameLabel->move((width() - m_nicknameLabel->width()) / 2, kNicknameTop);
}

void UserInfoWidget::paintEvent(QPaintEvent *event)
{
    placeFloatingLabels();
    StyleWidget::paintEvent(event);
}
