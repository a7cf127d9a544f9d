#pragma once
// Pixel memory for the chart's full-size images. Each 4 KiB page of fresh
// memory costs a fault when first painted; a 1000 x 700 image takes about 700
// of them, which on some virtual machines is most of a first frame's time. In
// 2 MiB pages it takes two. Small images gain nothing and come from QImage.
#include <QImage>
#include <QSize>

namespace potencor::ui {

// An image of this size and format, its pixels undefined, in memory the
// system may map in large pages; a plain QImage where it cannot.
QImage newLargeImage(QSize size, QImage::Format format);

} // namespace potencor::ui
