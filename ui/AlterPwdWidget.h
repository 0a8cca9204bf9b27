#pragma once

#include "widgets/PopWidget.h"

#include <QVariant>

class QLineEdit;
class StyleButton;

// Overlay that changes the signed-in user's password.
class AlterPwdWidget : public PopWidget
{
    Q_OBJECT

public:
    explicit AlterPwdWidget(QWidget *parent = nullptr);

    // The first failing check's message in the order the form checks, or empty.
    static QString checkInput(const QString &oldPassword, const QString &newPassword,
                              const QString &confirmation);

    QLineEdit *oldEdit() const { return m_oldEdit; }
    QLineEdit *newEdit() const { return m_newEdit; }
    QLineEdit *confirmEdit() const { return m_confirmEdit; }
    StyleButton *saveButton() const { return m_saveButton; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void onSaveClicked();
    void onHttpResponse(int type, int result, const QVariant &info);
    void reset();

    QLineEdit *m_oldEdit = nullptr;
    QLineEdit *m_newEdit = nullptr;
    QLineEdit *m_confirmEdit = nullptr;
    StyleButton *m_saveButton = nullptr;
};
