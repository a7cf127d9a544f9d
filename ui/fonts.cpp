#include "ui/fonts.h"

namespace potencor::ui {

QFont windowFont(int pixelSize)
{
    QFont font(installedFamily(QStringLiteral("Segoe UI")));
    font.setPixelSize(pixelSize);
    return font;
}

} // namespace potencor::ui
