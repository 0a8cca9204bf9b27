// The settings overlay: what it loads, what each control writes, the download folder
// checks, the autostart entry and clearing the downloads.
#include "ScreenTestKit.h"

#include "app/AppState.h"
#include "app/SettingKeys.h"
#include "app/Settings.h"
#include "download/DownloadFolderRule.h"
#include "download/FileStream.h"
#include "download/StoreFolders.h"
#include "platform/Autostart.h"
#include "ui/SettingWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace ScreenTestKit;

class TestSettingWidget : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Environment> m_env;
    std::unique_ptr<MessageAnswerer> m_answers;
    QTemporaryDir m_config;
    QTemporaryDir m_folders;

    SettingWidget *dialog() { return settingWidget(m_env->window()); }
    QSettings *settings() { return m_env->state().settings.get(); }
    QString stored(const char *key) { return Settings::text(settings(), key); }

    template <typename Button>
    Button *control(const QString &text)
    {
        const auto all = dialog()->findChildren<Button *>();
        for (Button *each : all) {
            if (each->text() == text)
                return each;
        }
        return nullptr;
    }
    QCheckBox *box(const QString &text) { return control<QCheckBox>(text); }

    // The two radio buttons named `text` (both pairs have a "托盘").
    QList<QRadioButton *> radios(const QString &text)
    {
        QList<QRadioButton *> found;
        const auto all = dialog()->findChildren<QRadioButton *>();
        for (QRadioButton *each : all) {
            if (each->text() == text)
                found << each;
        }
        return found;
    }

    void open()
    {
        m_env->buildWindow();
        m_answers = std::make_unique<MessageAnswerer>(m_env->window());
        mainMenu(m_env->window())->actions().at(1)->trigger(); // "设置"
    }

private slots:
    void initTestCase()
    {
        applyTheme();
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
        QVERIFY(QDir().mkpath(m_folders.path() + QStringLiteral("/Documents/Lumra医考网校")));
        QFile file(m_folders.path() + QStringLiteral("/notes.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    void init() { m_env = std::make_unique<Environment>(); }

    void cleanup()
    {
        m_answers.reset();
        m_env.reset();
    }

    void freshInstallShowsDefaults()
    {
        settings()->sync();
        const QStringList keysBefore = settings()->allKeys();
        open();
        QVERIFY(dialog()->isVisible());
        QCOMPARE(dialog()->titleLabel()->text(), QStringLiteral("基本设置"));
        const QStringList checks{QStringLiteral("开机时自动启动"),
                                 QStringLiteral("自动开始未完成的任务"),
                                 QStringLiteral("下载完成后提示"), QStringLiteral("下载完成后关机"),
                                 QStringLiteral("记忆上次文件播放的位置")};
        for (const QString &text : checks) {
            QVERIFY2(box(text), qPrintable(text));
            QVERIFY2(!box(text)->isChecked(), qPrintable(text));
        }
        QVERIFY(control<QRadioButton>(QStringLiteral("任务栏"))->isChecked());
        QVERIFY(control<QRadioButton>(QStringLiteral("退出"))->isChecked());
        for (QRadioButton *tray : radios(QStringLiteral("托盘")))
            QVERIFY(!tray->isChecked());
        QCOMPARE(dialog()->pathEdit()->text(), m_env->state().downloadDir);
        QVERIFY(!dialog()->pathEdit()->isEnabled());
        // Loading wrote nothing back.
        QCOMPARE(settings()->allKeys(), keysBefore);
        QCOMPARE(dialog()->contentArea()->width(), 700);
    }

    void loadsStoredChoices()
    {
        for (const char *key :
             {SettingKeys::Autorun, SettingKeys::MinimizePosition, SettingKeys::ClosePosition,
              SettingKeys::AutoDownload, SettingKeys::DoneTip, SettingKeys::DoneShutdown,
              SettingKeys::WatchTime})
            Settings::setText(settings(), key, QStringLiteral("1"));
        open();
        for (QCheckBox *each : dialog()->findChildren<QCheckBox *>())
            QVERIFY2(each->isChecked(), qPrintable(each->text()));
        for (QRadioButton *tray : radios(QStringLiteral("托盘")))
            QVERIFY(tray->isChecked());
        QVERIFY(!control<QRadioButton>(QStringLiteral("任务栏"))->isChecked());
    }

    void checkBoxesWriteTheirValues_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("offValue");
        QTest::newRow("auto") << QStringLiteral("自动开始未完成的任务")
                              << QString(SettingKeys::AutoDownload) << QStringLiteral("2");
        QTest::newRow("tip") << QStringLiteral("下载完成后提示") << QString(SettingKeys::DoneTip)
                             << QStringLiteral("0");
        QTest::newRow("shutdown") << QStringLiteral("下载完成后关机")
                                  << QString(SettingKeys::DoneShutdown) << QStringLiteral("0");
        QTest::newRow("position") << QStringLiteral("记忆上次文件播放的位置")
                                  << QString(SettingKeys::WatchTime) << QStringLiteral("0");
    }

    void checkBoxesWriteTheirValues()
    {
        QFETCH(QString, text);
        QFETCH(QString, key);
        QFETCH(QString, offValue);
        open();
        const QByteArray keyBytes = key.toLatin1();
        QTest::mouseClick(box(text), Qt::LeftButton, {}, QPoint(8, 12));
        QCOMPARE(stored(keyBytes.constData()), QStringLiteral("1"));
        QTest::mouseClick(box(text), Qt::LeftButton, {}, QPoint(8, 12));
        QCOMPARE(stored(keyBytes.constData()), offValue);
    }

    void radioButtonsNameTheCheckedChoice()
    {
        open();
        QRadioButton *minTray = radios(QStringLiteral("托盘")).value(0);
        QRadioButton *closeTray = radios(QStringLiteral("托盘")).value(1);
        QVERIFY(minTray && closeTray);
        // The first "托盘" is the one sharing a row with "任务栏".
        if (minTray->parentWidget()
            != control<QRadioButton>(QStringLiteral("任务栏"))->parentWidget())
            std::swap(minTray, closeTray);

        minTray->click();
        QCOMPARE(stored(SettingKeys::MinimizePosition), QStringLiteral("1"));
        QVERIFY(stored(SettingKeys::ClosePosition).isEmpty());
        QVERIFY(
            control<QRadioButton>(QStringLiteral("退出"))->isChecked()); // pairs are independent
        control<QRadioButton>(QStringLiteral("任务栏"))->click();
        QCOMPARE(stored(SettingKeys::MinimizePosition), QStringLiteral("2"));

        closeTray->click();
        QCOMPARE(stored(SettingKeys::ClosePosition), QStringLiteral("1"));
        control<QRadioButton>(QStringLiteral("退出"))->click();
        QCOMPARE(stored(SettingKeys::ClosePosition), QStringLiteral("2"));
    }

    // Any folder the user can write to holds the downloads, whatever its name; only a folder
    // that cannot be made or written, or one inside the program's own data, is refused.
    void pathCharacters_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("refusal");
        const QString root = m_folders.path();
        const QString data = root + QStringLiteral("/Documents/Lumra医考网校");
        QFile::link(data, root + QStringLiteral("/data-link"));
        const QString cannotCreate = QStringLiteral("无法创建该文件夹，请选择其他文件夹");
        const QString cannotWrite = QStringLiteral("该文件夹无法写入，请选择其他文件夹");
        const QString dataFolder = QStringLiteral("该文件夹属于程序数据文件夹，请选择其他文件夹");
        QTest::newRow("drive and underscore") << root + QStringLiteral("/lesson_1") << QString();
        QTest::newRow("home folder")
            << root + QStringLiteral("/home/student/lumraVideo") << QString();
        QTest::newRow("space") << root + QStringLiteral("/my videos") << QString();
        QTest::newRow("chinese") << root + QStringLiteral("/视频") << QString();
        QTest::newRow("chinese downloads") << root + QStringLiteral("/下载/课程") << QString();
        QTest::newRow("dot") << root + QStringLiteral("/home/j.doe/.videos") << QString();
        QTest::newRow("dash") << root + QStringLiteral("/home/jean-luc/lumraVideo") << QString();
        QTest::newRow("brackets") << root + QStringLiteral("/(x)") << QString();
        QTest::newRow("latin accent") << root + QStringLiteral("/caf\u00e9") << QString();
        QTest::newRow("under a file") << root + QStringLiteral("/notes.txt/videos") << cannotCreate;
        QTest::newRow("system folder") << QStringLiteral("/proc/lumra-videos") << cannotCreate;
        QTest::newRow("no files allowed") << QStringLiteral("/proc") << cannotWrite;
        QTest::newRow("relative") << QStringLiteral("lumraVideo") << cannotCreate;
        QTest::newRow("data folder") << data << dataFolder;
        QTest::newRow("inside data folder") << data + QStringLiteral("/videos") << dataFolder;
        QTest::newRow("data folder by a link")
            << root + QStringLiteral("/data-link/user") << dataFolder;
    }

    void pathCharacters()
    {
        QFETCH(QString, path);
        QFETCH(QString, refusal);
        const QString data = m_folders.path() + QStringLiteral("/Documents/Lumra医考网校");
        QCOMPARE(DownloadFolderRule::refusal(path, data), refusal);
        if (refusal.isEmpty())
            QVERIFY(QFileInfo(path).isDir() && QFileInfo(path).isWritable());
        else if (refusal.startsWith(QStringLiteral("无法创建")))
            QVERIFY(!QFileInfo::exists(path));
        // The test file does not stay behind.
        if (refusal.isEmpty())
            QCOMPARE(QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                     QStringList());
    }

    void folderChoice()
    {
        open();
        const QString before = stored(SettingKeys::VideoPath);
        QString offered;
        dialog()->setFolderChooser([&offered](QWidget *) { return offered; });
        QPushButton *change = control<QPushButton>(QStringLiteral("更改目录"));
        QVERIFY(change);

        // Cancelled chooser: nothing happens.
        QTest::mouseClick(change, Qt::LeftButton);
        QCOMPARE(stored(SettingKeys::VideoPath), before);
        QVERIFY(m_answers->messages().isEmpty());

        // A folder inside the program's data is refused and logged; the old folder stays.
        offered = m_env->state().dataDir + QStringLiteral("/videos");
        QTest::mouseClick(change, Qt::LeftButton);
        QCOMPARE(m_answers->messages(),
                 QStringList() << QStringLiteral("该文件夹属于程序数据文件夹，请选择其他文件夹"));
        QCOMPARE(stored(SettingKeys::VideoPath), before);
        QCOMPARE(dialog()->pathEdit()->text(), before);
        QCOMPARE(m_env->state().downloadDir, before);
        QFile log(m_env->state().logPath);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(log.readAll()).contains(offered));

        offered = m_folders.path() + QStringLiteral("/notes.txt/videos");
        QTest::mouseClick(change, Qt::LeftButton);
        QCOMPARE(m_answers->messages().size(), 2);
        QCOMPARE(m_answers->last(), QStringLiteral("无法创建该文件夹，请选择其他文件夹"));
        QCOMPARE(stored(SettingKeys::VideoPath), before);

        // The Chinese desktop's video folder under a home with a dot and a dash is taken.
        offered = m_folders.path() + QStringLiteral("/home/jean-luc.d/视频");
        QTest::mouseClick(change, Qt::LeftButton);
        QCOMPARE(m_answers->messages().size(), 2);
        QCOMPARE(stored(SettingKeys::VideoPath), offered);
        QCOMPARE(dialog()->pathEdit()->text(), offered);
        QCOMPARE(m_env->state().downloadDir, offered);
    }

    // The folder chooser itself, with no desktop chooser to hand it to: the toolkit's own,
    // in Chinese, opening on the download folder (else the home folder), its drop-down list
    // light like the rest; Esc leaves everything as it was.
    void folderChooserIsChineseAndReadable()
    {
        open();
        const QString before = stored(SettingKeys::VideoPath);
        QVERIFY(QDir().mkpath(m_env->state().downloadDir));
        QStringList labels;
        QString directory;
        QColor listBackground;
        QColor listText;
        auto inspect = [&] {
            auto *chooser = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!chooser)
                return;
            directory = chooser->directory().absolutePath();
            for (QLabel *label : chooser->findChildren<QLabel *>()) {
                if (label->isVisible() && !label->text().isEmpty())
                    labels << label->text();
            }
            for (QPushButton *button : chooser->findChildren<QPushButton *>()) {
                if (button->isVisible())
                    labels << button->text();
            }
            auto *lookIn = chooser->findChild<QComboBox *>(QStringLiteral("lookInCombo"));
            if (lookIn) {
                lookIn->showPopup();
                QTest::qWait(100);
                const QImage list = lookIn->view()->grab().toImage();
                listBackground = list.pixelColor(list.width() - 3, list.height() - 3);
                listText = lookIn->view()->palette().color(QPalette::Text);
                lookIn->hidePopup();
            }
            QTest::keyClick(chooser, Qt::Key_Escape);
        };
        QTimer::singleShot(300, this, inspect);
        QTest::mouseClick(control<QPushButton>(QStringLiteral("更改目录")), Qt::LeftButton);
        QCOMPARE(directory, QDir(m_env->state().downloadDir).absolutePath());
        QVERIFY2(labels.contains(QStringLiteral("选择")) && labels.contains(QStringLiteral("取消"))
                     && labels.contains(QStringLiteral("查找范围："))
                     && labels.contains(QStringLiteral("文件夹：")),
                 qPrintable(labels.join(QLatin1Char('|'))));
        QVERIFY2(listBackground.lightness() > 200, qPrintable(listBackground.name()));
        QVERIFY2(listText.lightness() < 120, qPrintable(listText.name()));
        QCOMPARE(stored(SettingKeys::VideoPath), before);
        QVERIFY(m_answers->messages().isEmpty());

        // A download folder that is gone: the chooser starts at home.
        m_env->state().downloadDir = m_folders.path() + QStringLiteral("/gone");
        directory.clear();
        QTimer::singleShot(300, this, inspect);
        QTest::mouseClick(control<QPushButton>(QStringLiteral("更改目录")), Qt::LeftButton);
        QCOMPARE(directory, QDir::home().absolutePath());
    }

    void autostartEntry()
    {
        open();
        const QString entry =
            m_config.path() + QStringLiteral("/autostart/")
            + QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName()
            + QStringLiteral(".desktop");
        QCOMPARE(Autostart::entryPath(), entry);
        QVERIFY(!QFile::exists(entry));

        QTest::mouseClick(box(QStringLiteral("开机时自动启动")), Qt::LeftButton, {}, QPoint(8, 12));
        QCOMPARE(stored(SettingKeys::Autorun), QStringLiteral("1"));
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        file.close();
        QVERIFY(text.startsWith(QStringLiteral("[Desktop Entry]\n")));
        QVERIFY(text.contains(QStringLiteral("Type=Application\n")));
        QVERIFY(text.contains(QStringLiteral("Exec=\"") + QCoreApplication::applicationFilePath()
                              + QStringLiteral("\"\n")));

        QTest::mouseClick(box(QStringLiteral("开机时自动启动")), Qt::LeftButton, {}, QPoint(8, 12));
        QCOMPARE(stored(SettingKeys::Autorun), QStringLiteral("0"));
        QVERIFY(!QFile::exists(entry));
    }

    void autostartFolderAndQuoting()
    {
        const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", "relative/config");
        const QString fallback = QDir::homePath() + QStringLiteral("/.config/autostart");
        QCOMPARE(Autostart::folder(), fallback);
        qunsetenv("XDG_CONFIG_HOME");
        QCOMPARE(Autostart::folder(), fallback);
        qputenv("XDG_CONFIG_HOME", saved);
        QCOMPARE(Autostart::folder(), m_config.path() + QStringLiteral("/autostart"));

        const QString text =
            Autostart::entryText(QStringLiteral("/opt/my app/a\"b$c%d"), QStringLiteral("名"));
        QVERIFY(text.contains(QStringLiteral("Exec=\"/opt/my app/a\\\"b\\$c%%d\"\n")));
        QVERIFY(text.contains(QStringLiteral("Name=名\n")));
    }

    void clearCacheAsksFirst()
    {
        FileStream stream;
        registerFileStream(&stream);
        AppState &state = m_env->state();
        const QString folder = StoreFolders::childFolder(state.downloadDir, QStringLiteral("101"));
        QVERIFY(QDir().mkpath(folder));
        QFile segment(folder + QStringLiteral("/seg0.ts"));
        QVERIFY(segment.open(QIODevice::WriteOnly));
        segment.close();
        Course course;
        course.id = QStringLiteral("101");
        state.user.downloads << course;
        open();
        QPushButton *clear = control<QPushButton>(QStringLiteral("清除缓存"));
        QVERIFY(clear);

        m_answers->queueCancel();
        QTest::mouseClick(clear, Qt::LeftButton);
        QCOMPARE(m_answers->messages(),
                 QStringList() << QStringLiteral("确定删除全部缓存？（将删除所有已下载课程）"));
        QCOMPARE(state.user.downloads.size(), 1);
        QVERIFY(QFile::exists(segment.fileName()));

        QTest::mouseClick(clear, Qt::LeftButton);
        QCOMPARE(m_answers->messages().size(), 2);
        QVERIFY(state.user.downloads.isEmpty());
        QVERIFY(!QFile::exists(segment.fileName()));
        registerFileStream(nullptr);
    }

    void screenshot()
    {
        Settings::setText(settings(), SettingKeys::AutoDownload, QStringLiteral("1"));
        Settings::setText(settings(), SettingKeys::DoneTip, QStringLiteral("1"));
        open();
        QCOMPARE(clippedTexts(dialog()), QStringList());
        QVERIFY(saveScreenshot(m_env->window(), QStringLiteral("settings")));
    }
};

QTEST_MAIN(TestSettingWidget)
#include "tst_settingwidget.moc"
