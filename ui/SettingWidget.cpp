#include "ui/SettingWidget.h"

#include "app/Accessors.h"
#include "app/AppState.h"
#include "app/Log.h"
#include "app/MainWindow.h"
#include "app/SettingKeys.h"
#include "app/Settings.h"
#include "download/DownloadFolderRule.h"
#include "download/FileStream.h"
#include "platform/Autostart.h"
#include "ui/FolderDialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace {
constexpr int kRowHeight = 25;

QLabel *label(const QString &text, QWidget *parent)
{
    auto *item = new QLabel(text, parent);
    item->setObjectName(QStringLiteral("lblUserInfo"));
    item->setFixedHeight(kRowHeight);
    return item;
}

QCheckBox *checkBox(const QString &text, QWidget *parent)
{
    auto *box = new QCheckBox(text, parent);
    box->setObjectName(QStringLiteral("ckAll"));
    box->setFixedHeight(kRowHeight);
    return box;
}

QRadioButton *radioButton(const QString &text, QWidget *parent)
{
    auto *button = new QRadioButton(text, parent);
    button->setObjectName(QStringLiteral("rdSetting"));
    button->setFixedHeight(kRowHeight);
    return button;
}

QPushButton *pushButton(const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QStringLiteral("btnChangeDir"));
    button->setFixedSize(75, kRowHeight);
    button->setCursor(Qt::PointingHandCursor);
    // Enter presses it when the keyboard is on it, as Space does.
    button->setAutoDefault(true);
    return button;
}

// Two radio buttons sharing one parent, so each pair is exclusive on its own.
QWidget *radioRow(QRadioButton *first, QRadioButton *second, QWidget *row)
{
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(first);
    layout->addSpacing(20);
    layout->addWidget(second);
    layout->addStretch();
    return row;
}
} // namespace

SettingWidget::SettingWidget(QWidget *parent)
    : PopWidget(QStringLiteral("基本设置"), parent)
{
    AppState *state = appState();
    m_settings = state ? state->settings.get() : nullptr;

    QWidget *content = contentArea();
    content->setFixedWidth(700);

    auto *autoRun = checkBox(QStringLiteral("开机时自动启动"), content);
    auto *minRow = new QWidget(content);
    m_minTaskbar = radioButton(QStringLiteral("任务栏"), minRow);
    m_minTray = radioButton(QStringLiteral("托盘"), minRow);
    radioRow(m_minTaskbar, m_minTray, minRow);
    m_pathEdit = new QLineEdit(content);
    m_pathEdit->setObjectName(QStringLiteral("txtPath"));
    m_pathEdit->setFixedHeight(kRowHeight);
    m_pathEdit->setEnabled(false);
    auto *changeDir = pushButton(QStringLiteral("更改目录"), content);
    auto *removeTemp = pushButton(QStringLiteral("清除缓存"), content);
    auto *autoTask = checkBox(QStringLiteral("自动开始未完成的任务"), content);
    auto *doneTip = checkBox(QStringLiteral("下载完成后提示"), content);
    auto *doneShutdown = checkBox(QStringLiteral("下载完成后关机"), content);
    auto *closeRow = new QWidget(content);
    m_closeExit = radioButton(QStringLiteral("退出"), closeRow);
    m_closeTray = radioButton(QStringLiteral("托盘"), closeRow);
    radioRow(m_closeExit, m_closeTray, closeRow);
    auto *lastPosition = checkBox(QStringLiteral("记忆上次文件播放的位置"), content);

    auto *grid = new QGridLayout(content);
    grid->setContentsMargins(45, 25, 45, 25);
    grid->addWidget(label(QStringLiteral("启动："), content), 0, 0);
    grid->addWidget(autoRun, 0, 1, 1, 3);
    grid->addWidget(label(QStringLiteral("最小化设置："), content), 1, 0);
    grid->addWidget(label(QStringLiteral("当程序最小化后显示在"), content), 1, 1, 1, 3);
    grid->addWidget(minRow, 2, 1, 1, 2);
    grid->addWidget(label(QStringLiteral("下载管理："), content), 3, 0);
    grid->addWidget(label(QStringLiteral("将下载的课程储存在此文件夹中"), content), 3, 1, 1, 3);
    grid->addWidget(m_pathEdit, 4, 1, 1, 4);
    grid->addWidget(changeDir, 4, 5);
    grid->addWidget(removeTemp, 4, 6);
    grid->addWidget(autoTask, 6, 1, 1, 3);
    grid->addWidget(doneTip, 7, 1, 1, 2);
    grid->addWidget(doneShutdown, 8, 1, 1, 3);
    grid->addWidget(label(QStringLiteral("关闭设置："), content), 9, 0);
    grid->addWidget(label(QStringLiteral("当点击关闭按钮后"), content), 9, 1, 1, 3);
    grid->addWidget(closeRow, 10, 1, 1, 2);
    grid->addWidget(label(QStringLiteral("播放设置："), content), 11, 0);
    grid->addWidget(lastPosition, 11, 1, 1, 3);

    // Loaded before anything is connected, so loading writes nothing back.
    autoRun->setChecked(Settings::isOn(m_settings, SettingKeys::Autorun));
    (Settings::isOn(m_settings, SettingKeys::MinimizePosition) ? m_minTray : m_minTaskbar)
        ->setChecked(true);
    (Settings::isOn(m_settings, SettingKeys::ClosePosition) ? m_closeTray : m_closeExit)
        ->setChecked(true);
    m_pathEdit->setText(Settings::text(m_settings, SettingKeys::VideoPath));
    autoTask->setChecked(Settings::isOn(m_settings, SettingKeys::AutoDownload));
    doneTip->setChecked(Settings::isOn(m_settings, SettingKeys::DoneTip));
    doneShutdown->setChecked(Settings::isOn(m_settings, SettingKeys::DoneShutdown));
    lastPosition->setChecked(Settings::isOn(m_settings, SettingKeys::WatchTime));

    connect(autoRun, &QCheckBox::toggled, this, &SettingWidget::onAutoRunCheck);
    connect(m_minTaskbar, &QRadioButton::toggled, this, &SettingWidget::onMinCheck);
    connect(m_minTray, &QRadioButton::toggled, this, &SettingWidget::onMinCheck);
    connect(m_closeExit, &QRadioButton::toggled, this, &SettingWidget::onCloseCheck);
    connect(m_closeTray, &QRadioButton::toggled, this, &SettingWidget::onCloseCheck);
    connect(changeDir, &QPushButton::clicked, this, &SettingWidget::onBtnPathClick);
    connect(autoTask, &QCheckBox::toggled, this, &SettingWidget::onCkAutotaskCheck);
    connect(doneTip, &QCheckBox::toggled, this, &SettingWidget::onCkTipCheck);
    connect(doneShutdown, &QCheckBox::toggled, this, &SettingWidget::onCkShutdownCheck);
    connect(lastPosition, &QCheckBox::toggled, this, &SettingWidget::onCkLastPositionCheck);
    connect(removeTemp, &QPushButton::clicked, this, &SettingWidget::onBtnRemoveTemp);
}

bool SettingWidget::hasInvalidPathChar(const QString &path) { return !refusal(path).isEmpty(); }

QString SettingWidget::refusal(const QString &path)
{
    const AppState *state = appState();
    const QString message = DownloadFolderRule::refusal(path, state ? state->dataDir : QString());
    if (!message.isEmpty())
        writeLog(QStringLiteral("download folder refused: ") + path);
    return message;
}

void SettingWidget::onAutoRunCheck(bool checked)
{
    // A failure to write the entry is not reported; the setting follows the box regardless.
    if (checked)
        Autostart::enable(QCoreApplication::applicationFilePath());
    else
        Autostart::disable();
    Settings::setOn(m_settings, SettingKeys::Autorun, checked);
}

void SettingWidget::onMinCheck()
{
    if (m_minTray->isChecked())
        Settings::setText(m_settings, SettingKeys::MinimizePosition, QStringLiteral("1"));
    else if (m_minTaskbar->isChecked())
        Settings::setText(m_settings, SettingKeys::MinimizePosition, QStringLiteral("2"));
}

void SettingWidget::onCloseCheck()
{
    if (m_closeTray->isChecked())
        Settings::setText(m_settings, SettingKeys::ClosePosition, QStringLiteral("1"));
    else if (m_closeExit->isChecked())
        Settings::setText(m_settings, SettingKeys::ClosePosition, QStringLiteral("2"));
}

void SettingWidget::onBtnPathClick()
{
    const QString current = appState() ? appState()->downloadDir : QString();
    const QString path =
        m_folderChooser ? m_folderChooser(this) : FolderDialog::chooseFolder(this, current);
    if (path.isEmpty())
        return;
    const QString problem = refusal(path);
    if (!problem.isEmpty()) {
        if (MainWindow *window = mainWidget())
            window->showMessage(problem, Message::OkOnly);
        return;
    }
    if (FileStream *stream = fileStream()) {
        // The lessons already downloaded go along, with the loading overlay while they move.
        MainWindow *window = mainWidget();
        if (window)
            window->setLoading(true);
        QString error;
        const bool moved = stream->changeDownloadDir(path, &error);
        if (window)
            window->setLoading(false);
        if (!moved) {
            if (window)
                window->showMessage(error, Message::OkOnly);
            return;
        }
    } else {
        Settings::setText(m_settings, SettingKeys::VideoPath, path);
        if (AppState *state = appState())
            state->downloadDir = path;
    }
    m_pathEdit->setText(path);
}

void SettingWidget::onCkAutotaskCheck(bool checked)
{
    Settings::setOn(m_settings, SettingKeys::AutoDownload, checked, QStringLiteral("2"));
}

void SettingWidget::onCkTipCheck(bool checked)
{
    Settings::setOn(m_settings, SettingKeys::DoneTip, checked);
}

void SettingWidget::onCkShutdownCheck(bool checked)
{
    Settings::setOn(m_settings, SettingKeys::DoneShutdown, checked);
}

void SettingWidget::onCkLastPositionCheck(bool checked)
{
    Settings::setOn(m_settings, SettingKeys::WatchTime, checked);
}

void SettingWidget::onBtnRemoveTemp()
{
    MainWindow *window = mainWidget();
    if (!window
        || window->showMessage(QStringLiteral("确定删除全部缓存？（将删除所有已下载课程）"),
                               Message::OkCancel)
               != Message::Ok)
        return;
    if (FileStream *stream = fileStream())
        stream->clearAll();
}
