#pragma once
// The windows' face; the faces' substitutes and the chart's face are in
// chart/fonts.h, which the checker's plots use without any window.
#include "chart/fonts.h"

#include <QFont>

namespace potencor::ui {

// The windows' face at a size in px.
QFont windowFont(int pixelSize);

} // namespace potencor::ui
