#pragma once

#include "widgets/PopWidget.h"

#include <functional>

class QLineEdit;
class QRadioButton;
class QSettings;

// The settings overlay. Every change is written to the settings file at once.
class SettingWidget : public PopWidget
{
    Q_OBJECT

public:
    explicit SettingWidget(QWidget *parent = nullptr);

    // True when a download folder must be refused (see DownloadFolderRule; a missing folder
    // is created by the check). refusal() gives the message; refusals are logged.
    static bool hasInvalidPathChar(const QString &path);
    static QString refusal(const QString &path);

    // Test seam: how a folder is chosen (the system folder chooser by default).
    void setFolderChooser(std::function<QString(QWidget *)> chooser)
    {
        m_folderChooser = std::move(chooser);
    }

    QLineEdit *pathEdit() const { return m_pathEdit; }

public slots:
    void onAutoRunCheck(bool checked);
    void onMinCheck();
    void onCloseCheck();
    void onBtnPathClick();
    void onCkAutotaskCheck(bool checked);
    void onCkTipCheck(bool checked);
    void onCkShutdownCheck(bool checked);
    void onCkLastPositionCheck(bool checked);
    void onBtnRemoveTemp();

private:
    QRadioButton *m_minTaskbar = nullptr;
    QRadioButton *m_minTray = nullptr;
    QRadioButton *m_closeExit = nullptr;
    QRadioButton *m_closeTray = nullptr;
    QLineEdit *m_pathEdit = nullptr;
    QSettings *m_settings = nullptr;

    std::function<QString(QWidget *)> m_folderChooser;
};
