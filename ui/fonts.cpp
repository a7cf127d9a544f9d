#include "ui/fonts.h"

#include <QFont>
#include <QStringList>

namespace potencor::ui {

void installFontSubstitutions()
{
    const QStringList substitutes{QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")};
    for (const QString& family : {QStringLiteral("Segoe UI"), QStringLiteral("Arial")})
        QFont::insertSubstitutions(family, substitutes);
}

} // namespace potencor::ui
