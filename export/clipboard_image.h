#pragma once
#include <QImage>

namespace potencor::exporting {

// Replaces the clipboard's whole content with the image. Throws
// potencor::Error "Cannot open clipboard: %s" when the platform has no clipboard.
void copyImageToClipboard(const QImage& image);

} // namespace potencor::exporting
