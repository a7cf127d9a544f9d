#pragma once
// The windows name "Segoe UI" and the chart "Arial"; where those are missing
// (any Linux desktop) Qt would take whatever fontconfig offers, often a much
// wider face that breaks the fixed layout's line breaks and label sizes.

#include <QFont>
#include <QString>

namespace potencor::ui {

// Registers, application-wide, the faces tried in order for each of those
// families when it is not installed: Liberation Sans (Arial's metrics, close
// to Segoe UI's widths), then DejaVu Sans; both have Cyrillic. Call once
// before the first window or chart is made.
void installFontSubstitutions();

// `family` when it is installed, else its first installed substitute, else
// `family` itself. Every font made from a missing family costs Qt a search
// of fontconfig's fallbacks (about half a millisecond at start-up), so the
// program asks for the face that will be drawn.
QString installedFamily(const QString& family);

// The chart's face at a size in pt.
QFont chartFont(int pointSize);

} // namespace potencor::ui
