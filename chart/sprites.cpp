#include "chart/sprites.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <vector>

namespace potencor::ui {
namespace {

// The circle sprite is 9 x 9 logical px with the circle centred in it.
constexpr double kPointSpritePx = 9.0;
constexpr int kPointSpriteHalf = 4;

// Box blur of a premultiplied image, `radius` px each way, in place.
void boxBlur(QImage& image, int radius)
{
    if (radius <= 0)
        return;
    const int w = image.width();
    const int h = image.height();
    const int window = 2 * radius + 1;
    std::vector<QRgb> line;
    auto blurLine = [&](auto pixelAt, int length) {
        line.assign(length, 0);
        for (int i = 0; i < length; ++i)
            line[i] = pixelAt(i);
        for (int i = 0; i < length; ++i) {
            int sum[4] = {0, 0, 0, 0};
            for (int k = i - radius; k <= i + radius; ++k) {
                if (k < 0 || k >= length)
                    continue;
                const QRgb p = line[k];
                sum[0] += qAlpha(p);
                sum[1] += qRed(p);
                sum[2] += qGreen(p);
                sum[3] += qBlue(p);
            }
            pixelAt(i) = qRgba(sum[1] / window, sum[2] / window, sum[3] / window, sum[0] / window);
        }
    };
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        blurLine([row](int i) -> QRgb& { return row[i]; }, w);
    }
    for (int x = 0; x < w; ++x) {
        blurLine([&image, x](int i) -> QRgb& { return reinterpret_cast<QRgb*>(image.scanLine(i))[x]; }, h);
    }
}

} // namespace

ChartSprites::ChartSprites(const ChartLayout& layout, qreal dpr)
    : dpr_(dpr), boxHeightPx_(layout.mark.boxHeightPx)
{
    renderPoint();
    renderDigits(layout);
}

std::pair<int, int> ChartSprites::lineAt(double at) const
{
    const int width = std::max(1, static_cast<int>(std::lround(dpr_)));
    return {static_cast<int>(std::floor(at * dpr_ - (width - 1) / 2.0 + 0.5)), width};
}

QRect ChartSprites::toDevice(const QRect& px) const
{
    const QPoint topLeft(toDevice(px.left()), toDevice(px.top()));
    const QPoint end(toDevice(px.left() + px.width()), toDevice(px.top() + px.height()));
    return QRect(topLeft, end - QPoint(1, 1));
}

QImage ChartSprites::newImage(QSizeF logical) const
{
    const QSize size(static_cast<int>(std::ceil(logical.width() * dpr_)),
                     static_cast<int>(std::ceil(logical.height() * dpr_)));
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QPoint ChartSprites::pointOrigin(QPoint pointPixel) const
{
    return toDevice(QPointF(pointPixel.x() - kPointSpriteHalf, pointPixel.y() - kPointSpriteHalf));
}

void ChartSprites::renderPoint()
{
    point_ = newImage({kPointSpritePx, kPointSpritePx});
    QPainter p(&point_);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(dpr_, dpr_);
    p.setPen(QPen(Qt::black, 1.0));
    p.setBrush(Qt::red);
    const double c = kPointSpritePx / 2;
    p.drawEllipse(QPointF(c, c), kPointRadiusPx, kPointRadiusPx);
}

void ChartSprites::renderDigits(const ChartLayout& layout)
{
    const QSizeF size(std::ceil(layout.mark.digitAdvancePx) + 2 * kDigitInsetPx, boxHeightPx_);
    const double baseline = layout.mark.padYPx + layout.mark.ascentPx;
    for (int d = 0; d < 10; ++d) {
        digits_[d] = newImage(size);
        QPainter p(&digits_[d]);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.scale(dpr_, dpr_);
        p.setFont(layout.font);
        p.setPen(Qt::black);
        p.drawText(QPointF(kDigitInsetPx, baseline), QString(QChar(u'0' + d)));
        p.end();
        QRect ink;
        for (int y = 0; y < digits_[d].height(); ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(digits_[d].constScanLine(y));
            for (int x = 0; x < digits_[d].width(); ++x) {
                if (qAlpha(row[x]) != 0)
                    ink |= QRect(x, y, 1, 1);
            }
        }
        digitInk_[d] = ink;
        digitsInk_ |= ink;
    }
}

const ChartSprites::MarkBox& ChartSprites::markBox(int widthPx)
{
    if (lastBox_ != nullptr && lastWidth_ == widthPx)
        return *lastBox_;
    lastWidth_ = widthPx;
    if (auto it = boxes_.find(widthPx); it != boxes_.end()) {
        lastBox_ = &it->second;
        return it->second;
    }
    const int grow = kMarkShadowPx + kMarkShadowBlurPx;
    QImage box = newImage(QSizeF(widthPx + grow, boxHeightPx_ + grow));
    const QRectF face(0, 0, widthPx, boxHeightPx_);
    {
        QPainter p(&box);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(dpr_, dpr_);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(128, 128, 128, 128)); // gray at half opacity
        p.drawRoundedRect(face.translated(kMarkShadowPx, kMarkShadowPx), kMarkCornerPx, kMarkCornerPx);
    }
    boxBlur(box, std::max(1, toDevice(kMarkShadowBlurPx)));
    {
        QPainter p(&box);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(dpr_, dpr_);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRoundedRect(face, kMarkCornerPx, kMarkCornerPx);
    }
    MarkBox mark{box, {}};
    for (int y = 0; y < box.height(); ++y) {
        // The longest run of opaque pixels; the face is round, so one run.
        const auto* row = reinterpret_cast<const QRgb*>(box.constScanLine(y));
        std::pair<int, int> longest(0, -1);
        for (int x = 0; x < box.width();) {
            if (qAlpha(row[x]) != 255) {
                ++x;
                continue;
            }
            const int first = x;
            while (x < box.width() && qAlpha(row[x]) == 255)
                ++x;
            if (x - first > longest.second - longest.first + 1)
                longest = {first, x - 1};
        }
        mark.opaque.push_back(longest);
    }
    lastBox_ = &boxes_.emplace(widthPx, std::move(mark)).first->second;
    return *lastBox_;
}

} // namespace potencor::ui
