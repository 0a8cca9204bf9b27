#pragma once

#include "widgets/StyleWidget.h"

#include <QDateTime>
#include <QPixmap>
#include <QVariant>

class BorderImageLabel;
class ImageButton;
class QLabel;
class StyleButton;

// The signed-in user's form: banner, round avatar, nickname, account name, the
// password-change button and the exit button. Avatar and nickname float centred over it.
class UserInfoWidget : public StyleWidget
{
    Q_OBJECT

public:
    explicit UserInfoWidget(QWidget *parent = nullptr);

    // The source scaled to 2r×2r (aspect ignored) and cut to a circle; null stays null.
    static QPixmap circularPixmap(const QPixmap &source, int radius);
    // Shown while a user has no picture of their own (none given, not yet downloaded, or
    // a file that is no picture).
    static QPixmap defaultAvatar();

    QLabel *accountLabel() const { return m_accountLabel; }
    QLabel *avatarLabel() const { return m_avatarLabel; }
    QLabel *nicknameLabel() const { return m_nicknameLabel; }
    ImageButton *passwordButton() const { return m_passwordButton; }
    StyleButton *exitButton() const { return m_exitButton; }

protected:
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void onHttpResponse(int type, int result, const QVariant &info);
    void loadAvatar();
    void placeFloatingLabels();

    // Which file the shown picture came from, so a new user or a newer file is seen.
    QString m_avatarSource;
    QDateTime m_avatarStamp;
    qint64 m_avatarSize = -1;

    BorderImageLabel *m_banner = nullptr;
    QLabel *m_accountLabel = nullptr;
    QLabel *m_avatarLabel = nullptr;
    QLabel *m_nicknameLabel = nullptr;
    ImageButton *m_passwordButton = nullptr;
    StyleButton *m_exitButton = nullptr;
};
