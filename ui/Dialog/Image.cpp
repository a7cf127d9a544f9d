#include "ui/Dialog/Image.h"

#include "ui/accessibility.h"

#include <QPainter>

namespace potencor::ui {

QSize fitReduceOnly(QSize picture, QSize box)
{
    const int pw = picture.width();
    const int ph = picture.height();
    const int bw = box.width();
    const int bh = box.height();
    if (pw <= bw && ph <= bh)
        return picture;

    const double aspect = static_cast<double>(pw) / ph;
    int w = 0;
    int h = 0;
    if (pw > ph) {
        w = bw;
        h = static_cast<int>(bw / aspect);
        if (h > bh) {
            h = bh;
            w = static_cast<int>(bh * aspect);
        }
    } else {
        h = bh;
        w = static_cast<int>(bh * aspect);
        if (w > bw) {
            w = bw;
            h = static_cast<int>(bw / aspect);
        }
    }
    return {w, h};
}

TImage::TImage(QWidget* parent) : QWidget(parent)
{
    installAccessibleFactory(); // a picture to assistive technology
    // Not filled: the part of the box the picture leaves uncovered shows
    // the window's own background.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void TImage::setPicture(const QImage& picture)
{
    picture_ = picture;
    scaled_ = QImage();
    update();
}

void TImage::paintEvent(QPaintEvent*)
{
    if (picture_.isNull())
        return;
    const QSize target = fitReduceOnly(picture_.size(), size());
    if (target.isEmpty())
        return;

    // Reduce straight to device pixels, so a high-DPI screen gets the detail
    // it can show instead of an enlarged 100 % copy.
    const qreal dpr = devicePixelRatioF();
    const QSize devicePx = (QSizeF(target) * dpr).toSize();
    if (scaled_.size() != devicePx || !qFuzzyCompare(scaled_.devicePixelRatio(), dpr)) {
        scaled_ = picture_.size() == devicePx
            ? picture_
            : picture_.scaled(devicePx, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        scaled_.setDevicePixelRatio(dpr);
    }
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), scaled_);
}

} // namespace potencor::ui
