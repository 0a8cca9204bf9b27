#pragma once

#include "widgets/StyleWidget.h"

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

    BorderImageLabel *m_banner = nullptr;
    QLabel *m_accountLabel = nullptr;
    QLabel *m_avatarLabel = nullptr;
    QLabel *m_nicknameLabel = nullptr;
    ImageButton *m_passwordButton = nullptr;
    StyleButton *m_exitButton = nullptr;
};
