// Image buttons and labels build their look as generated style sheets over
// the resource images; the exact text matters because the selectors and the
// closing literal decide whether Qt applies the rule at all.
#include "widgets/BorderImageLabel.h"
#include "widgets/ClickableMenu.h"
#include "widgets/ColorHLine.h"
#include "widgets/ColorVLine.h"
#include "widgets/ImageButton.h"
#include "widgets/ImageCheckButton.h"
#include "widgets/ImageLabel.h"
#include "widgets/ImageRadioButton.h"
#include "widgets/PressSlider.h"
#include "widgets/ResourceInit.h"
#include "widgets/StyleButton.h"
#include "widgets/StyleWidget.h"

#include <QAction>
#include <QSignalSpy>
#include <QtTest>

namespace {

// True when some pixel of the grabbed widget differs from the first one.
bool hasDrawing(QWidget &widget)
{
    const QImage image = widget.grab().toImage();
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != first)
                return true;
    return false;
}

} // namespace

class TestImageControls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initResources(); }

    void imageButtonSheets()
    {
        ImageButton withHover(QStringLiteral("min"), QStringLiteral("min_h"));
        QCOMPARE(
            withHover.styleSheet(),
            QStringLiteral("QPushButton{background:url(:/pexil/pexil/min.png) no-repeat center;"
                           "border: none;}"
                           "QPushButton::hover{ background:url(:/pexil/pexil/min_h.png) "
                           "no-repeat center;}"));
        QCOMPARE(withHover.cursor().shape(), Qt::PointingHandCursor);
        // Reached with Tab, never taken by a click (which would pull the focus out of a field).
        QCOMPARE(withHover.focusPolicy(), Qt::TabFocus);

        ImageButton plain(QStringLiteral("close_m"), QString());
        QCOMPARE(plain.styleSheet(),
                 QStringLiteral("QPushButton{background:url(:/pexil/pexil/close_m.png) no-repeat "
                                "center;border: none;}"));
    }

    void checkButtonSheets()
    {
        ImageCheckButton two(QStringLiteral("play"), QStringLiteral("spend"));
        QVERIFY(two.isCheckable());
        QCOMPARE(two.focusPolicy(), Qt::TabFocus);
        QCOMPARE(two.styleSheet(),
                 QStringLiteral("QPushButton {background: url(:/pexil/pexil/play.png) no-repeat "
                                "center;border: none;}"
                                "QPushButton:checked {background: url(:/pexil/pexil/spend.png) "
                                "no-repeat center;border: none;}"));

        ImageCheckButton four(QStringLiteral("max"), QStringLiteral("max_h"),
                              QStringLiteral("normal"), QStringLiteral("normal_h"));
        QVERIFY(four.isCheckable());
        QCOMPARE(four.cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(four.styleSheet(),
                 QStringLiteral("QPushButton {background: url(:/pexil/pexil/max.png) no-repeat "
                                "center;border: none;}"
                                "QPushButton::hover {background: url(:/pexil/pexil/max_h.png) "
                                "no-repeat center;border: none;}"
                                "QPushButton::checked {background: url(:/pexil/pexil/normal.png) "
                                "no-repeat center;border: none;}"
                                "QPushButton::checked::hover {background: "
                                "url(:/pexil/pexil/normal_h.png) no-repeat center;border: none;}"));
    }

    void radioButtonSheet()
    {
        ImageRadioButton radio(QStringLiteral("btnClass"), QStringLiteral("btnClassHover"),
                               QStringLiteral("btnClassDis"), QStringLiteral("btnClassDis"));
        QCOMPARE(radio.focusPolicy(), Qt::TabFocus);
        QCOMPARE(radio.cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(
            radio.styleSheet(),
            QStringLiteral("QRadioButton::indicator{border-image:none;}"
                           "QRadioButton {background: url(:/pexil/pexil/btnClass.png) "
                           "no-repeat center;border: none;}"
                           "QRadioButton::unchecked::hover {background: "
                           "url(:/pexil/pexil/btnClassHover.png) no-repeat center;border: none;}"
                           "QRadioButton::checked {background: "
                           "url(:/pexil/pexil/btnClassDis.png) no-repeat center;border: none;}"
                           "QRadioButton::checked::hover {background: "
                           "url(:/pexil/pexil/btnClassDis.png) no-repeat center;border: none;}"));
    }

    void labelSheets()
    {
        ImageLabel label(QStringLiteral("logo"));
        QCOMPARE(label.styleSheet(),
                 QStringLiteral("QLabel{background:url(:/pexil/pexil/logo.png) no-repeat center;"
                                "border: none;}"));
        label.setImage(QStringLiteral("nocourse"));
        QCOMPARE(label.styleSheet(),
                 QStringLiteral("QLabel{background:url(:/pexil/pexil/nocourse.png) no-repeat "
                                "center;border: none;}"));

        BorderImageLabel banner(QStringLiteral("bar"));
        QCOMPARE(banner.styleSheet(),
                 QStringLiteral("QLabel{border-image:url(:/pexil/pexil/bar.png) no-repeat center;"
                                "border: none;}"));
    }

    // The generated rules must reach real images: a wrong prefix or a rule Qt
    // rejects leaves the control blank.
    void generatedSheetsShowTheirImages()
    {
        ImageLabel logo(QStringLiteral("logo"));
        logo.resize(139, 34);
        QVERIFY(hasDrawing(logo));

        BorderImageLabel banner(QStringLiteral("bar"));
        banner.resize(300, 120);
        QVERIFY(hasDrawing(banner));

        ImageButton close(QStringLiteral("close_h"), QString());
        close.resize(30, 30);
        QVERIFY(hasDrawing(close));

        ImageLabel missing(QStringLiteral("no-such-image"));
        missing.resize(30, 30);
        QVERIFY(!hasDrawing(missing));
    }

    void lines()
    {
        ColorHLine h(QStringLiteral("#e0e0e0"), 1);
        QCOMPARE(h.styleSheet(), QStringLiteral("QWidget{background-color:#e0e0e0;}"));
        QCOMPARE(h.minimumHeight(), 1);
        QCOMPARE(h.maximumHeight(), 1);
        QVERIFY(h.objectName().isEmpty());
        h.resize(20, 1);
        QCOMPARE(h.grab().toImage().pixelColor(10, 0), QColor(0xe0, 0xe0, 0xe0));

        ColorVLine v(QStringLiteral("#fe8619"), 2);
        QCOMPARE(v.styleSheet(), QStringLiteral("QWidget{background-color:#fe8619;}"));
        QCOMPARE(v.minimumWidth(), 2);
        QCOMPARE(v.maximumWidth(), 2);
    }

    void styleButtonAndWidget()
    {
        StyleButton button(QStringLiteral("确认"), QStringLiteral("btnOK"));
        QCOMPARE(button.text(), QStringLiteral("确认"));
        QCOMPARE(button.objectName(), QStringLiteral("btnOK"));
        QCOMPARE(button.focusPolicy(), Qt::TabFocus);
        QCOMPARE(button.cursor().shape(), Qt::PointingHandCursor);
        // Enter presses the focused button as Space does; a modified Enter does not.
        int presses = 0;
        connect(&button, &QPushButton::clicked, this, [&] { ++presses; });
        QTest::keyClick(&button, Qt::Key_Return);
        QTest::keyClick(&button, Qt::Key_Enter, Qt::KeypadModifier);
        QTest::keyClick(&button, Qt::Key_Space);
        QTest::keyClick(&button, Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(presses, 3);

        QWidget parent;
        StyleWidget named(QStringLiteral("TitleWidget"), &parent);
        QCOMPARE(named.objectName(), QStringLiteral("TitleWidget"));
        // An empty name must not wipe a name a subclass set before.
        StyleWidget unnamed(QString(), &parent);
        QVERIFY(unnamed.objectName().isEmpty());

        // The style-sheet background shows on the plain widget.
        named.setStyleSheet(QStringLiteral("#TitleWidget{background:#1f8784;}"));
        named.resize(10, 10);
        QCOMPARE(named.grab().toImage().pixelColor(5, 5), QColor(0x1f, 0x87, 0x84));
    }

    void pressSliderReportsPressedValue_data()
    {
        QTest::addColumn<int>("minimum");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("expected");
        QTest::newRow("left edge") << 0 << 100 << 0 << 0;
        QTest::newRow("middle") << 0 << 100 << 100 << 50;
        QTest::newRow("offset range") << 20 << 120 << 50 << 45;
        QTest::newRow("truncates") << 0 << 10 << 39 << 1;
    }

    void pressSliderReportsPressedValue()
    {
        QFETCH(int, minimum);
        QFETCH(int, maximum);
        QFETCH(int, x);
        QFETCH(int, expected);
        PressSlider slider(nullptr, true);
        QCOMPARE(slider.orientation(), Qt::Horizontal);
        QVERIFY(slider.hasMouseTracking());
        slider.setRange(minimum, maximum);
        slider.setFixedSize(200, 20);
        QSignalSpy spy(&slider, &PressSlider::mousePress);
        QTest::mousePress(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(x, 10));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), expected);
    }

    void verticalSliderUsesHorizontalCoordinate()
    {
        PressSlider slider(nullptr, false);
        QCOMPARE(slider.orientation(), Qt::Vertical);
        slider.setRange(0, 100);
        slider.setFixedSize(40, 200);
        QSignalSpy spy(&slider, &PressSlider::mousePress);
        QTest::mousePress(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(10, 150));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), 25);
    }

    void clickableMenuStaysOpenOnEntry()
    {
        ClickableMenu menu(QStringLiteral("线路"));
        // Room below the entries where no action lies.
        menu.setContentsMargins(0, 0, 0, 12);
        QAction *first = menu.addAction(QStringLiteral("线路一"));
        first->setCheckable(true);
        menu.addAction(QStringLiteral("线路二"));
        menu.popup(QPoint(100, 100));
        QVERIFY(QTest::qWaitForWindowExposed(&menu));

        QSignalSpy triggered(first, &QAction::triggered);
        const QPoint onFirst = menu.actionGeometry(first).center();
        QTest::mousePress(&menu, Qt::LeftButton, Qt::NoModifier, onFirst);
        QTest::mouseRelease(&menu, Qt::LeftButton, Qt::NoModifier, onFirst);
        QCOMPARE(triggered.count(), 1);
        QVERIFY(first->isChecked());
        QVERIFY(menu.isVisible());

        // Below the last entry there is no action: the menu closes as usual.
        const QPoint empty(menu.width() / 2, menu.height() - 1);
        QVERIFY(!menu.actionAt(empty));
        QTest::mousePress(&menu, Qt::LeftButton, Qt::NoModifier, empty);
        QTest::mouseRelease(&menu, Qt::LeftButton, Qt::NoModifier, empty);
        QTRY_VERIFY(!menu.isVisible());
        QCOMPARE(triggered.count(), 1);
    }
};

QTEST_MAIN(TestImageControls)
#include "tst_imagecontrols.moc"
