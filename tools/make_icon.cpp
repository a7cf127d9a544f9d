// Renders the program icon: "E = mc²" glowing green on a black disc, 94 x 94 px,
// 256-colour palette with one fully transparent entry for the corners.
//
//   make_icon <out.png>
#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kSizePx = 94;
constexpr double kTextWidthPx = 76.0;
constexpr int kGlowRadiusPx = 3;

const QColor kGlow(40, 255, 70);
const QColor kCore(215, 255, 215);

// Entry 0 transparent, then black rising to the glow green, then the green
// whitening to the text's core: the only colours the icon contains.
QList<QRgb> iconPalette()
{
    QList<QRgb> table{qRgba(0, 0, 0, 0)};
    constexpr int kRamp = 200;
    for (int i = 0; i < kRamp; ++i) {
        const double k = double(i) / (kRamp - 1);
        table << qRgb(int(kGlow.red() * k), int(kGlow.green() * k), int(kGlow.blue() * k));
    }
    const int rest = 256 - table.size();
    for (int i = 1; i <= rest; ++i) {
        const double k = double(i) / rest;
        table << qRgb(int(kGlow.red() + (kCore.red() - kGlow.red()) * k),
                      int(kGlow.green() + (kCore.green() - kGlow.green()) * k),
                      int(kGlow.blue() + (kCore.blue() - kGlow.blue()) * k));
    }
    return table;
}

// Separable box blur, three passes: close enough to a Gaussian for a glow.
QImage blurred(QImage img, int radius)
{
    img = img.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int w = img.width();
    const int h = img.height();
    for (int pass = 0; pass < 3; ++pass) {
        for (int horizontal = 0; horizontal < 2; ++horizontal) {
            QImage out(img.size(), img.format());
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    int sum[4] = {0, 0, 0, 0};
                    int count = 0;
                    for (int d = -radius; d <= radius; ++d) {
                        const int sx = horizontal ? x + d : x;
                        const int sy = horizontal ? y : y + d;
                        if (sx < 0 || sy < 0 || sx >= w || sy >= h)
                            continue;
                        const QRgb p = reinterpret_cast<const QRgb*>(img.constScanLine(sy))[sx];
                        sum[0] += qRed(p);
                        sum[1] += qGreen(p);
                        sum[2] += qBlue(p);
                        sum[3] += qAlpha(p);
                        ++count;
                    }
                    reinterpret_cast<QRgb*>(out.scanLine(y))[x] = qRgba(
                        sum[0] / count, sum[1] / count, sum[2] / count, sum[3] / count);
                }
            }
            img = out;
        }
    }
    return img;
}

QPainterPath formulaPath()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(40);
    const QString text = QStringLiteral("E = mc²");
    QPainterPath path;
    path.addText(0, 0, font, text);
    // Scale to the disc's usable width and centre it.
    const QRectF box = path.boundingRect();
    const double k = kTextWidthPx / box.width();
    QTransform t;
    t.translate(kSizePx / 2.0, kSizePx / 2.0);
    t.scale(k, k);
    t.translate(-box.center().x(), -box.center().y());
    return t.map(path);
}

QImage render()
{
    const QPainterPath formula = formulaPath();

    QImage glyphs(kSizePx, kSizePx, QImage::Format_ARGB32_Premultiplied);
    glyphs.fill(Qt::transparent);
    {
        QPainter p(&glyphs);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(kGlow, 1.5));
        p.setBrush(kGlow);
        p.drawPath(formula);
    }
    const QImage glow = blurred(glyphs, kGlowRadiusPx);

    QImage icon(kSizePx, kSizePx, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF disc(0.5, 0.5, kSizePx - 1.0, kSizePx - 1.0);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawEllipse(disc);

    QPainterPath clip;
    clip.addEllipse(disc);
    p.setClipPath(clip);
    p.setCompositionMode(QPainter::CompositionMode_Plus);
    p.drawImage(0, 0, glow);
    p.drawImage(0, 0, glow); // twice: a brighter halo
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setBrush(kCore);
    p.drawPath(formula);
    p.end();

    // One transparent palette entry means no partial alpha: the disc's
    // antialiased rim becomes either black or transparent.
    QImage straight = icon.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < kSizePx; ++y) {
        auto* line = reinterpret_cast<QRgb*>(straight.scanLine(y));
        for (int x = 0; x < kSizePx; ++x)
            line[x] = qAlpha(line[x]) < 128 ? qRgba(0, 0, 0, 0) : (line[x] | 0xff000000u);
    }
    return straight.convertToFormat(QImage::Format_Indexed8, iconPalette());
}

} // namespace

int main(int argc, char** argv)
{
    // Text needs the font machinery of a GUI application, but no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icon <out.png>\n");
        return 2;
    }
    const QImage icon = render();
    if (icon.format() != QImage::Format_Indexed8 || !icon.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
