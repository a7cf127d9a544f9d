// Scales the program icon to the sizes of the hicolor icon theme:
//
//   icon_sizes <icon.png> <out dir> <size px>...
//
// writes <out dir>/<N>x<N>/apps/<icon's base name>.png for each size N.
#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: icon_sizes <icon.png> <out dir> <size px>...\n");
        return 2;
    }
    const QString sourcePath = QString::fromLocal8Bit(argv[1]);
    // The asset is palette-based; scaling averages in full colour and alpha.
    const QImage source = QImage(sourcePath).convertToFormat(QImage::Format_ARGB32);
    if (source.isNull()) {
        std::fprintf(stderr, "icon_sizes: cannot read %s\n", argv[1]);
        return 1;
    }
    const QString name = QFileInfo(sourcePath).completeBaseName() + QStringLiteral(".png");
    const QDir out(QString::fromLocal8Bit(argv[2]));
    for (int i = 3; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0) {
            std::fprintf(stderr, "icon_sizes: bad size %s\n", argv[i]);
            return 2;
        }
        const QString dir = QStringLiteral("%1x%1/apps").arg(size);
        // Smooth scaling averages areas when reducing, interpolates when enlarging.
        const QImage scaled = source.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (!out.mkpath(dir) || !scaled.save(out.filePath(dir + QLatin1Char('/') + name), "PNG")) {
            std::fprintf(stderr, "icon_sizes: cannot write %s\n", qPrintable(out.filePath(dir)));
            return 1;
        }
    }
    return 0;
}
