#pragma once
// The windows name "Segoe UI" and the chart "Arial"; where those are missing
// (any Linux desktop) Qt would take whatever fontconfig offers, often a much
// wider face that breaks the fixed layout's line breaks and label sizes.

namespace potencor::ui {

// Registers, application-wide, the faces tried in order for each of those
// families when it is not installed: Liberation Sans (Arial's metrics, close
// to Segoe UI's widths), then DejaVu Sans; both have Cyrillic. Call once
// before creating windows.
void installFontSubstitutions();

} // namespace potencor::ui
