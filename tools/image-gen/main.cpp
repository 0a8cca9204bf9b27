// Draws the image set of the client into a folder: every picture at its
// natural size as NAME.png and at twice the size as NAME@2x.png, the
// application icon, and the frames of the loading animation (assembled into a
// GIF by make-images). With --sheet it also renders a contact sheet to check
// the set by eye.
#include "IcoWriter.h"
#include "ImageSet.h"

#include <QCommandLineParser>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTextStream>

namespace {

QImage render(const ImageEntry &entry, int scale)
{
    QImage image(entry.size * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.scale(scale, scale);
    entry.draw(p);
    p.end();
    return image;
}

QImage renderIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    ImageSet::drawAppIcon(p, size);
    p.end();
    return image;
}

QImage contactSheet(const QVector<ImageEntry> &entries, const QDir &dir)
{
    // Each picture at 2x on a light and on a dark swatch, with its name.
    const int cellW = 300;
    const int cellH = 150;
    const int columns = 5;
    const int rows = (entries.size() + 1 + columns - 1) / columns;
    QImage sheet(columns * cellW, rows * cellH, QImage::Format_ARGB32_Premultiplied);
    sheet.fill(QColor(0xee, 0xee, 0xee));
    QPainter p(&sheet);
    p.setRenderHint(QPainter::Antialiasing, true);
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(13);
    p.setFont(font);
    int index = 0;
    auto cell = [&](const QString &name, QImage image) {
        // The reader marks "@2x" files as high-DPI; show their real pixels here.
        image.setDevicePixelRatio(1);
        const int x = (index % columns) * cellW;
        const int y = (index / columns) * cellH;
        ++index;
        p.fillRect(QRect(x + 4, y + 4, cellW / 2 - 6, cellH - 26), QColor(0xf8, 0xf8, 0xf8));
        p.fillRect(QRect(x + cellW / 2 + 2, y + 4, cellW / 2 - 6, cellH - 26),
                   QColor(0x1c, 0x1d, 0x21));
        const QImage shown = image.width() > cellW / 2 - 10 || image.height() > cellH - 30
                                 ? image.scaled(cellW / 2 - 10, cellH - 30, Qt::KeepAspectRatio,
                                                Qt::SmoothTransformation)
                                 : image;
        for (int side = 0; side < 2; ++side) {
            const int cx = x + 4 + side * (cellW / 2 - 2) + (cellW / 2 - 6 - shown.width()) / 2;
            const int cy = y + 4 + (cellH - 26 - shown.height()) / 2;
            p.drawImage(cx, cy, shown);
        }
        p.setPen(Qt::black);
        p.drawText(QRect(x, y + cellH - 22, cellW, 20), Qt::AlignCenter, name);
    };
    for (const ImageEntry &entry : entries)
        cell(entry.name, QImage(dir.filePath(entry.name + QStringLiteral("@2x.png"))));
    cell(QStringLiteral("loading.gif"), QImage(dir.filePath(QStringLiteral("loading.gif"))));
    p.end();
    return sheet;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("outdir"), QStringLiteral("folder for the images"));
    QCommandLineOption framesOption(QStringLiteral("frames"),
                                    QStringLiteral("folder for the loading animation frames"),
                                    QStringLiteral("dir"));
    QCommandLineOption sheetOption(
        QStringLiteral("sheet"),
        QStringLiteral("only render a contact sheet of outdir to this file"),
        QStringLiteral("png"));
    parser.addOption(framesOption);
    parser.addOption(sheetOption);
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);

    QTextStream err(stderr);
    QDir out(parser.positionalArguments().constFirst());
    const QVector<ImageEntry> entries = ImageSet::entries();

    if (parser.isSet(sheetOption)) {
        if (!contactSheet(entries, out).save(parser.value(sheetOption))) {
            err << "cannot write the contact sheet\n";
            return 1;
        }
        return 0;
    }

    if (!out.mkpath(QStringLiteral("."))) {
        err << "cannot create " << out.path() << "\n";
        return 1;
    }
    for (const ImageEntry &entry : entries) {
        for (int scale : {1, 2}) {
            const QString suffix = scale == 1 ? QString() : QStringLiteral("@2x");
            const QString path = out.filePath(entry.name + suffix + QStringLiteral(".png"));
            if (!render(entry, scale).save(path, "PNG")) {
                err << "cannot write " << path << "\n";
                return 1;
            }
        }
    }

    QVector<QImage> icons;
    for (int size : {16, 24, 32, 48, 64, 256})
        icons << renderIcon(size);
    if (!IcoWriter::write(out.filePath(QStringLiteral("lumra.ico")), icons)) {
        err << "cannot write lumra.ico\n";
        return 1;
    }

    if (parser.isSet(framesOption)) {
        QDir frames(parser.value(framesOption));
        frames.mkpath(QStringLiteral("."));
        for (int i = 0; i < ImageSet::kLoadingFrames; ++i) {
            QImage frame(ImageSet::kLoadingSize, ImageSet::kLoadingSize, QImage::Format_RGB32);
            QPainter p(&frame);
            p.setRenderHint(QPainter::Antialiasing, true);
            ImageSet::drawLoadingFrame(p, i, ImageSet::kLoadingFrames);
            p.end();
            const QString path =
                frames.filePath(QStringLiteral("frame%1.png").arg(i, 2, 10, QLatin1Char('0')));
            if (!frame.save(path, "PNG")) {
                err << "cannot write " << path << "\n";
                return 1;
            }
        }
    }
    return 0;
}
