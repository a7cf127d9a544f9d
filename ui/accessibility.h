#pragma once
// What assistive technology (a screen reader through Qt's AT-SPI bridge)
// learns of the program's own widgets: the chart is a chart whose value is
// the reading at the probe or the pointer and whose description counts the
// measured points; the About window's picture is a picture.
#include <QString>

namespace potencor::ui {

// Registers the interfaces with Qt's accessibility, once; the widgets that
// need them call it when they are made.
void installAccessibleFactory();

// The chart's description: how many points are measured.
QString measuredPointsDescription(int count);

} // namespace potencor::ui
