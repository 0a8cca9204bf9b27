// On a screen with device pixel ratio 2 the image controls must draw the
// "@2x" pictures pixel for pixel, not the small ones scaled up.
#include "widgets/ImageLabel.h"
#include "widgets/ResourceInit.h"

#include <QApplication>
#include <QIcon>
#include <QtTest>

namespace {

// Largest channel difference between two images of the same size.
int maxDifference(const QImage &a, const QImage &b)
{
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            worst = qMax(worst, qAbs(qRed(p) - qRed(q)));
            worst = qMax(worst, qAbs(qGreen(p) - qGreen(q)));
            worst = qMax(worst, qAbs(qBlue(p) - qBlue(q)));
            worst = qMax(worst, qAbs(qAlpha(p) - qAlpha(q)));
        }
    return worst;
}

} // namespace

class TestHighDpi : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initResources();
        QCOMPARE(qApp->devicePixelRatio(), 2.0);
    }

    void styleSheetImagesUseDoubleSize_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size");
        QTest::newRow("title close") << "close_h" << QSize(30, 30);
        QTest::newRow("logo") << "logo" << QSize(139, 34);
        QTest::newRow("navigation") << "btnUserDis" << QSize(60, 60);
    }

    void styleSheetImagesUseDoubleSize()
    {
        QFETCH(QString, name);
        QFETCH(QSize, size);
        ImageLabel label(name);
        label.resize(size);
        // Rendered on its own, so only the label's picture lands in the image.
        QImage shot(size * 2, QImage::Format_ARGB32_Premultiplied);
        shot.setDevicePixelRatio(2);
        shot.fill(Qt::transparent);
        label.render(&shot, QPoint(), QRegion(), QWidget::DrawChildren);

        QImage expected(QStringLiteral(":/pexil/pexil/") + name + QStringLiteral("@2x.png"));
        expected = expected.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QCOMPARE(expected.size(), size * 2);
        QVERIFY2(maxDifference(shot, expected) <= 2, qPrintable(name));
    }

    void iconPicksDoubleSize()
    {
        const QIcon icon(QStringLiteral(":/pexil/pexil/16_16.png"));
        const QPixmap pixmap = icon.pixmap(QSize(16, 16));
        QCOMPARE(pixmap.size(), QSize(32, 32));
    }
};

int main(int argc, char **argv)
{
    qputenv("QT_SCALE_FACTOR", "2");
    // As the program does: icons choose their picture by the screen's ratio.
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication app(argc, argv);
    TestHighDpi test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_highdpi.moc"
