// The application style sheet and the image set in the resource bundle.
#include "app/Theme.h"
#include "widgets/ResourceInit.h"

#include <QApplication>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QMovie>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

namespace {

const QStringList kImages = {"btnDownload.png",
                             "downing.png",
                             "loading.gif",
                             "normal_h.png",
                             "ztz.png",
                             "16_16.png",
                             "play.png",
                             "ckun.png",
                             "btnQA.png",
                             "normal.png",
                             "max.png",
                             "p_max.png",
                             "recovery.png",
                             "fullscreen.png",
                             "min.png",
                             "p_min.png",
                             "min_h.png",
                             "btnClass.png",
                             "logo.png",
                             "btnUserHover.png",
                             "btnQADis.png",
                             "done.png",
                             "addmore.png",
                             "p_close.png",
                             "close.png",
                             "ck.png",
                             "btnDownloadHover.png",
                             "voice_j_h.png",
                             "nocourse.png",
                             "btnBack.png",
                             "fullscreen_h.png",
                             "rd.png",
                             "sb.png",
                             "xz.png",
                             "arrowdown.png",
                             "recovery_h.png",
                             "btnClassHover.png",
                             "bar.png",
                             "btnUser.png",
                             "back2.png",
                             "spend_h.png",
                             "btnQAHover.png",
                             "ddz.png",
                             "alterpwd.png",
                             "pwdtip.png",
                             "close_m.png",
                             "close_h.png",
                             "voice_h.png",
                             "voice_j.png",
                             "rdun.png",
                             "nametip.png",
                             "spend.png",
                             "lumra.ico",
                             "btnUserDis.png",
                             "btnBigStart.png",
                             "p_normal.png",
                             "btnDownloadDis.png",
                             "wxpta_03.png",
                             "btnClassDis.png",
                             "max_h.png",
                             "play_h.png",
                             "voice.png"};

// The rules the screens rely on, in the order the sheet must keep them.
const QStringList kSelectorOrder = {"#MainNavigateWidget",
                                    "#FtpWidget",
                                    "#lblContent14_B5BAC4",
                                    "#lblContent12_FFF",
                                    "#MainBorder",
                                    "#ContentWidget",
                                    "#LoadingWidget",
                                    "#MainWidget",
                                    "#TitleWidget",
                                    "#NavigatWidget",
                                    "#FormPlayer",
                                    "#MessageBoxTitle",
                                    "#MessageBoxBottom",
                                    "#Mask",
                                    "#MessageBox",
                                    "#CourseItem",
                                    "#CountBox",
                                    "#Banner",
                                    "#WhiteWidget",
                                    "#f8Widget",
                                    "#btnControl",
                                    "#btnTitle",
                                    "#btnTitle:hover",
                                    "#btnLogin",
                                    "#btnLogin:hover",
                                    "#btnLogin:pressed",
                                    "#btnEsc",
                                    "#btnEsc2",
                                    "#btnOK3",
                                    "#btnChangeDir",
                                    "#btnCancel",
                                    "#btnOK",
                                    "#btnRelogin",
                                    "#btnCourseDown",
                                    "#btnEdit",
                                    "#btnDelete",
                                    "#btnCourseCancel",
                                    "#btnDownTitle",
                                    "#btnDownTitle:hover",
                                    "#btnDownTitle:checked",
                                    "#btnPauseAll",
                                    "#btnBanner",
                                    "#btnBanner:hover",
                                    "#btnBanner:pressed",
                                    "#txtName",
                                    "#txtPath",
                                    "#lblReg",
                                    "QLabel#lblUserInfo",
                                    "QLabel#lblClass",
                                    "QLabel#lblLine",
                                    "QLabel#label14999",
                                    "QLabel#xgcg",
                                    "QLabel#lblCourseZhang",
                                    "QLabel#lblCourseJie",
                                    "QLabel#lblCourseTime",
                                    "QLabel#lblCount",
                                    "QLabel#lbltime1",
                                    "QLabel#lbltime2",
                                    "QLabel#progress",
                                    "QLabel#labelload",
                                    "QLabel#playertitle",
                                    "QLabel#TipLabel",
                                    "QLabel#lblName",
                                    "QLabel#lblPwdTip",
                                    "QScrollBar:vertical",
                                    "QScrollArea",
                                    "QMenu",
                                    "QMenu::item",
                                    "QMenu::item:selected",
                                    "QMenu::separator",
                                    "QCheckBox::indicator:unchecked",
                                    "QCheckBox::indicator:checked",
                                    "QRadioButton#rdSetting::indicator:unchecked",
                                    "QRadioButton#rdSetting::indicator:checked",
                                    "QCheckBox#ckCourse",
                                    "QCheckBox#ckAll",
                                    "QComboBox#cmbName",
                                    "#btnStudy",
                                    "#btnStudy:hover",
                                    "#btnStudy:disabled",
                                    "QSlider::groove:horizontal",
                                    "QSlider::sub-page:horizontal",
                                    "QSlider::handle:horizontal",
                                    "QSlider::handle:horizontal:hover",
                                    "QSlider#volumn::handle:horizontal",
                                    "QListWidget",
                                    "QTreeView",
                                    "QListView",
                                    "QComboBox",
                                    "QComboBox QAbstractItemView"};

struct Rule
{
    QString selector;
    QString body;
};

// Flattens the sheet into one entry per selector, comments dropped.
QVector<Rule> parseRules(QString sheet)
{
    sheet.remove(QRegularExpression(QStringLiteral("/\\*.*?\\*/"),
                                    QRegularExpression::DotMatchesEverythingOption));
    QVector<Rule> rules;
    QRegularExpression ruleExp(QStringLiteral("([^{}]+)\\{([^}]*)\\}"));
    auto it = ruleExp.globalMatch(sheet);
    while (it.hasNext()) {
        const auto match = it.next();
        for (const QString &selector : match.captured(1).split(QLatin1Char(',')))
            rules.append({selector.simplified(), match.captured(2).trimmed()});
    }
    return rules;
}

QString bodyOf(const QVector<Rule> &rules, const QString &selector)
{
    for (const Rule &rule : rules)
        if (rule.selector == selector)
            return rule.body;
    return QString();
}

QtMessageHandler g_previousHandler = nullptr;
QStringList g_warnings;

void collectWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg)
        g_warnings << message;
    g_previousHandler(type, context, message);
}

} // namespace

class TestTheme : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initResources();
        m_sheet = Theme::loadStyleSheet();
        QVERIFY(!m_sheet.isEmpty());
    }

    void missingResourceGivesNoSheet()
    {
        QVERIFY(Theme::loadStyleSheet(QStringLiteral(":/css/none.css")).isNull());
    }

    void placeholdersReplacedInOrder()
    {
        QCOMPARE(Theme::fillPlaceholders(QStringLiteral("a:%color2%;b:%color%;c:url(%path%x.png);"
                                                        "d:%COLOR%")),
                 QStringLiteral("a:#01a39e;b:#1f8784;c:url(:/pexil/pexil/x.png);d:%COLOR%"));
        QVERIFY(!m_sheet.contains(QLatin1String("%color")));
        QVERIFY(!m_sheet.contains(QLatin1String("%path%")));
    }

    void selectorsInFileOrder()
    {
        const QVector<Rule> rules = parseRules(m_sheet);
        QVERIFY(rules.size() >= 90);
        int previous = -1;
        for (const QString &selector : kSelectorOrder) {
            int index = -1;
            for (int i = 0; i < rules.size() && index < 0; ++i)
                if (rules[i].selector == selector)
                    index = i;
            QVERIFY2(index >= 0, qPrintable(selector + " missing"));
            QVERIFY2(index > previous, qPrintable(selector + " out of order"));
            previous = index;
        }
    }

    void tellingRules_data()
    {
        QTest::addColumn<QString>("selector");
        QTest::addColumn<QStringList>("declarations");
        QTest::newRow("title bar")
            << "#TitleWidget"
            << QStringList{"background:#f8f8f8", "border-top-left-radius:3px",
                           "border-top:1px solid #ffffff"};
        QTest::newRow("navigation")
            << "#NavigatWidget" << QStringList{"background:#fff", "border-bottom-right-radius:3px"};
        QTest::newRow("banner") << "#Banner"
                                << QStringList{"background:#fff", "border-bottom:1px solid #1f8784",
                                               "border-left:1px solid #1f8784"};
        QTest::newRow("menu button")
            << "#btnTitle"
            << QStringList{"min-width:68px",     "min-height:28px", "border:1px solid #d2d2d2",
                           "border-radius:14px", "color:#333",      "font-size:14px"};
        QTest::newRow("menu button hover")
            << "#btnTitle:hover"
            << QStringList{"color:#ffffff", "background:#1f8784", "border:none"};
        QTest::newRow("sign-in") << "#btnLogin"
                                 << QStringList{"min-width:379px", "min-height:61px",
                                                "background:#01a39e", "border-radius:3px",
                                                "font-size:20px"};
        QTest::newRow("sign-in pressed")
            << "#btnLogin:pressed" << QStringList{"background:#1f8784"};
        QTest::newRow("OK") << "#btnOK"
                            << QStringList{"min-width:90px", "border-radius:5px",
                                           "background:#fe8619", "font-size:16px"};
        QTest::newRow("cancel") << "#btnCancel" << QStringList{"background:#c3c3c3"};
        QTest::newRow("small button")
            << "#btnChangeDir"
            << QStringList{"min-width:92px", "min-height:30px", "border:1px solid #d7d7d7",
                           "background:#ebebeb", "font-size:12px"};
        QTest::newRow("progress fill") << "#CountBox" << QStringList{"background:#fe8619"};
        QTest::newRow("box") << "#MessageBox"
                             << QStringList{"background:#ffffff", "border-radius:5px"};
        QTest::newRow("menu entry")
            << "QMenu::item"
            << QStringList{"color:#333", "height:30px", "width:80px", "margin-left:20px"};
        QTest::newRow("menu selection")
            << "QMenu::item:selected" << QStringList{"background:#1f8784"};
        QTest::newRow("check box")
            << "QCheckBox::indicator:checked" << QStringList{"image:url(:/pexil/pexil/ck.png)"};
        QTest::newRow("radio") << "QRadioButton#rdSetting::indicator:unchecked"
                               << QStringList{"image:url(:/pexil/pexil/rdun.png)"};
        QTest::newRow("slider groove")
            << "QSlider::groove:horizontal" << QStringList{"height:4px", "background:#525252"};
        QTest::newRow("slider handle")
            << "QSlider::handle:horizontal" << QStringList{"width:17px", "background:#cccccc"};
        QTest::newRow("volume handle")
            << "QSlider#volumn::handle:horizontal" << QStringList{"width:12px"};
        QTest::newRow("combo") << "QComboBox"
                               << QStringList{"color:#1f8784", "font-size:12px",
                                              "background:#212226"};
        QTest::newRow("combo list")
            << "QComboBox QAbstractItemView" << QStringList{"selection-background-color:#FA5A3B"};
    }

    void tellingRules()
    {
        QFETCH(QString, selector);
        QFETCH(QStringList, declarations);
        const QString body = bodyOf(parseRules(m_sheet), selector);
        QVERIFY2(!body.isEmpty(), qPrintable(selector));
        for (const QString &declaration : declarations)
            QVERIFY2(body.contains(declaration), qPrintable(selector + ": " + declaration));
    }

    void chineseFontHasFallback()
    {
        // The Windows font is absent on Linux desktops; every use names a CJK fallback.
        const QVector<Rule> rules = parseRules(m_sheet);
        int uses = 0;
        for (const Rule &rule : rules) {
            if (!rule.body.contains(QLatin1String("font-family")))
                continue;
            ++uses;
            QVERIFY2(rule.body.contains(QLatin1String("\"WenQuanYi Micro Hei\"")),
                     qPrintable(rule.selector));
        }
        QVERIFY(uses > 20);
    }

    void everyUrlNamesAResource()
    {
        QRegularExpression urlExp(QStringLiteral("url\\(([^)]*)\\)"));
        auto it = urlExp.globalMatch(m_sheet);
        int count = 0;
        while (it.hasNext()) {
            const QString path = it.next().captured(1).trimmed();
            QVERIFY2(path.startsWith(QLatin1String(":/pexil/pexil/")), qPrintable(path));
            QVERIFY2(QFile::exists(path), qPrintable(path));
            ++count;
        }
        QVERIFY(count >= 7);
    }

    void sheetParsesInQt()
    {
        g_warnings.clear();
        g_previousHandler = qInstallMessageHandler(collectWarnings);
        qApp->setStyleSheet(m_sheet);
        QWidget window;
        auto *button = new QPushButton(QStringLiteral("登录"), &window);
        button->setObjectName(QStringLiteral("btnLogin"));
        auto *label = new QLabel(QStringLiteral("文本"), &window);
        label->setObjectName(QStringLiteral("lblUserInfo"));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        qInstallMessageHandler(g_previousHandler);
        for (const QString &warning : qAsConst(g_warnings))
            QVERIFY2(!warning.contains(QLatin1String("parse"), Qt::CaseInsensitive),
                     qPrintable(warning));
        // The sign-in rule reached the button.
        button->resize(379, 61);
        const QColor fill = button->grab().toImage().pixelColor(20, 30);
        qApp->setStyleSheet(QString());
        QCOMPARE(fill, QColor(0x01, 0xa3, 0x9e));
    }

    void everyImageLoads()
    {
        for (const QString &name : kImages) {
            const QString path = QStringLiteral(":/pexil/pexil/") + name;
            QVERIFY2(QFile::exists(path), qPrintable(name));
            QImage image(path);
            QVERIFY2(!image.isNull(), qPrintable(name));
            if (!name.endsWith(QLatin1String(".png")))
                continue;
            // Each picture comes with a twice-as-large copy for high-DPI screens.
            QString hiDpi = path;
            hiDpi.replace(QLatin1String(".png"), QLatin1String("@2x.png"));
            QImageReader reader(hiDpi);
            QCOMPARE(reader.size(), image.size() * 2);
        }
    }

    void imageSizesFitTheirControls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size");
        QTest::newRow("title button") << "min" << QSize(30, 30);
        QTest::newRow("title close hover") << "close_h" << QSize(30, 30);
        QTest::newRow("player title") << "p_max" << QSize(35, 35);
        QTest::newRow("player control") << "play_h" << QSize(24, 24);
        QTest::newRow("navigation") << "btnUserDis" << QSize(60, 60);
        QTest::newRow("logo") << "logo" << QSize(139, 34);
        QTest::newRow("empty grid") << "nocourse" << QSize(177, 88);
        QTest::newRow("password") << "alterpwd" << QSize(30, 25);
        QTest::newRow("password changed") << "wxpta_03" << QSize(77, 75);
        QTest::newRow("tile") << "addmore" << QSize(220, 124);
        QTest::newRow("tile mark") << "ddz" << QSize(32, 32);
        QTest::newRow("tile check") << "xz" << QSize(24, 24);
        QTest::newRow("indicator") << "ck" << QSize(16, 16);
        QTest::newRow("tray") << "16_16" << QSize(16, 16);
    }

    void imageSizesFitTheirControls()
    {
        QFETCH(QString, name);
        QFETCH(QSize, size);
        QCOMPARE(
            QImageReader(QStringLiteral(":/pexil/pexil/") + name + QStringLiteral(".png")).size(),
            size);
    }

    void iconAndAnimation()
    {
        QImageReader icon(QStringLiteral(":/pexil/pexil/lumra.ico"));
        QVERIFY(icon.canRead());
        QVERIFY(icon.imageCount() >= 4);
        QSet<int> widths;
        for (int i = 0; i < icon.imageCount(); ++i) {
            QVERIFY(icon.jumpToImage(i));
            const QImage image = icon.read();
            QVERIFY(!image.isNull());
            widths.insert(image.width());
        }
        QVERIFY(widths.contains(16));
        QVERIFY(widths.contains(32));
        QVERIFY(widths.contains(256));

        QMovie movie(QStringLiteral(":/pexil/pexil/loading.gif"));
        QVERIFY(movie.isValid());
        QVERIFY(movie.frameCount() > 1);
        QVERIFY(movie.jumpToFrame(0));
        QCOMPARE(movie.currentImage().size(), QSize(32, 32));
    }

private:
    QString m_sheet;
};

QTEST_MAIN(TestTheme)
#include "tst_theme.moc"
