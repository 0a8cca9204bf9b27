#pragma once

#include "widgets/PopWidget.h"

class QEventLoop;
class QLineEdit;
class StyleButton;

// Overlay showing the download folder with a button to change it. Its owner shows it and
// may wait in exec() until it closes.
class DownloadPathSettingWidget : public PopWidget
{
    Q_OBJECT

public:
    explicit DownloadPathSettingWidget(QWidget *parent = nullptr);
    ~DownloadPathSettingWidget() override;

    void setPath(const QString &path);
    QString path() const;
    // Shows the overlay and runs its own event loop until quit() or until it is hidden.
    void exec();
    void quit();
    bool isRunning() const;

    QLineEdit *pathEdit() const { return m_pathEdit; }
    StyleButton *changeButton() const { return m_changeButton; }

protected:
    void hideEvent(QHideEvent *event) override;

private:
    QLineEdit *m_pathEdit = nullptr;
    StyleButton *m_changeButton = nullptr;
    QEventLoop *m_loop = nullptr;
};
