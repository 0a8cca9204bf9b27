// Frameless window bases: their flags, the soft border, the mask veil and the
// own title-bar buttons of ShadowWidget.
#include "widgets/BorderWidget.h"
#include "widgets/ImageButton.h"
#include "widgets/ImageCheckButton.h"
#include "widgets/MaskWidget.h"
#include "widgets/ResourceInit.h"
#include "widgets/ShadowWidget.h"
#include "widgets/StyleDialog.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QtTest>

class TestWindows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initResources(); }

    void dialogIsFramelessAndTranslucent()
    {
        StyleDialog dialog(QStringLiteral("MainBorder"));
        QCOMPARE(dialog.objectName(), QStringLiteral("MainBorder"));
        QVERIFY(dialog.testAttribute(Qt::WA_TranslucentBackground));
        QVERIFY(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(dialog.isWindow());
    }

    void borderRingsFadeAndVanishWhenFull()
    {
        BorderWidget window;
        QVERIFY(window.testAttribute(Qt::WA_TranslucentBackground));
        QVERIFY(window.windowFlags().testFlag(Qt::FramelessWindowHint));

        window.resize(200, 150);
        QImage image = window.grab().toImage();
        // The rings lie within the outer 5 pixels; the inside stays clear.
        int ringAlpha = 0;
        for (int x = 0; x <= 5; ++x)
            ringAlpha = qMax(ringAlpha, qAlpha(image.pixel(x, 75)));
        QVERIFY(ringAlpha > 0);
        QCOMPARE(qAlpha(image.pixel(100, 75)), 0);

        const QSize desktop = QGuiApplication::primaryScreen()->availableGeometry().size();
        window.resize(desktop);
        image = window.grab().toImage();
        for (int x = 0; x <= 6; ++x)
            QCOMPARE(qAlpha(image.pixel(x, desktop.height() / 2)), 0);
    }

    void maskLeavesMarginClear()
    {
        QWidget parent;
        MaskWidget mask(150, 10, &parent);
        mask.resize(100, 80);
        // Rendered without the parent's background, so only the veil shows.
        QImage image(mask.size(), QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        mask.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        QCOMPARE(qAlpha(image.pixel(5, 5)), 0);
        QCOMPARE(qAlpha(image.pixel(50, 40)), 150);
        QCOMPARE(qAlpha(image.pixel(10, 10)), 150);
        QCOMPARE(qAlpha(image.pixel(90, 70)), 0);

        MaskWidget plain(60, 0, &parent);
        plain.resize(20, 20);
        QImage full(plain.size(), QImage::Format_ARGB32);
        full.fill(Qt::transparent);
        plain.render(&full, QPoint(), QRegion(), QWidget::DrawChildren);
        QCOMPARE(qAlpha(full.pixel(0, 0)), 60);
    }

    void shadowWidgetButtons()
    {
        ShadowWidget window;
        QVERIFY(window.windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(window.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(window.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        QCOMPARE(window.layout()->indexOf(window.titleBar()), 0);
        QCOMPARE(window.layout()->indexOf(window.body()), 1);

        const auto buttons = window.titleBar()->findChildren<QPushButton *>();
        QCOMPARE(buttons.size(), 3);
        for (QPushButton *button : buttons)
            QCOMPARE(button->size(), QSize(35, 35));
        QVERIFY(window.maxButton()->isCheckable());
        QVERIFY(window.maxButton()->styleSheet().contains(QStringLiteral("p_normal.png")));
    }

    void closeButtonClosesWindow()
    {
        ShadowWidget window;
        window.resize(400, 300);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        ImageButton *close = nullptr;
        for (auto *button : window.titleBar()->findChildren<ImageButton *>())
            if (button->styleSheet().contains(QStringLiteral("p_close")))
                close = button;
        QVERIFY(close);
        QTest::mouseClick(close, Qt::LeftButton);
        QVERIFY(!window.isVisible());
    }

    void dragMovesAndLeavesMaximised()
    {
        ShadowWidget window;
        window.resize(400, 300);
        window.move(50, 50);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QTest::mouseClick(window.maxButton(), Qt::LeftButton);
        QVERIFY(window.maxButton()->isChecked());
        QTRY_VERIFY(window.isMaximized());

        // Drag from inside the window; the move handler follows the global cursor.
        const QPoint pressAt(100, 100);
        QTest::mousePress(&window, Qt::LeftButton, Qt::NoModifier, pressAt);
        QMouseEvent move(QEvent::MouseMove, QPointF(pressAt), QPointF(300, 250), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &move);
        QTest::mouseRelease(&window, Qt::LeftButton, Qt::NoModifier, pressAt);

        QVERIFY(!window.maxButton()->isChecked());
        QTRY_VERIFY(!window.isMaximized());
        QCOMPARE(window.pos(), QPoint(200, 150));

        // Released: further moves do not drag.
        QMouseEvent idle(QEvent::MouseMove, QPointF(pressAt), QPointF(600, 600), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &idle);
        QCOMPARE(window.pos(), QPoint(200, 150));

        // The next click maximises again.
        QTest::mouseClick(window.maxButton(), Qt::LeftButton);
        QTRY_VERIFY(window.isMaximized());
    }
};

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
