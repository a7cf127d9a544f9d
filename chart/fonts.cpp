#include "chart/fonts.h"

#include <QFontDatabase>
#include <QStringList>

#include <algorithm>

namespace potencor::ui {

void installFontSubstitutions()
{
    const QStringList substitutes{QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")};
    for (const QString& family : {QStringLiteral("Segoe UI"), QStringLiteral("Arial")})
        QFont::insertSubstitutions(family, substitutes);
}

QString installedFamily(const QString& family)
{
    // families() lists installed faces only; hasFamily() would also accept
    // fontconfig's aliases, which are exactly the indirection to avoid.
    const QStringList installed = QFontDatabase::families();
    // Substitutes come back lower-cased: answer with the installed spelling.
    const auto find = [&](const QString& name) {
        const auto it = std::find_if(installed.cbegin(), installed.cend(),
                                     [&](const QString& f) { return f.compare(name, Qt::CaseInsensitive) == 0; });
        return it == installed.cend() ? QString() : *it;
    };
    for (const QString& candidate : QStringList{family} + QFont::substitutes(family)) {
        if (const QString found = find(candidate); !found.isEmpty())
            return found;
    }
    return family;
}

QFont chartFont(int pointSize)
{
    QFont font(installedFamily(QStringLiteral("Arial")));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(pointSize);
    return font;
}

} // namespace potencor::ui
