#include "export/clipboard_image.h"

#include "core/error.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace potencor::exporting {

void copyImageToClipboard(const QImage& image)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr)
        throw Error(msg::cannotOpenClipboard("no clipboard is available"));
    // A fresh QMimeData holding only the image drops every format held before.
    auto* data = new QMimeData;
    data->setImageData(image);
    clipboard->setMimeData(data, QClipboard::Clipboard);
}

} // namespace potencor::exporting
