#pragma once
// The model's own equipotential lines over the chart's plot, traced from
// field::potential, for the checker's pictures (the HTML report's SVG and
// --plot's PNG). No Qt.
#include <cstddef>
#include <string>
#include <vector>

namespace potencor::check {

// The chart's axes (cm): x from 0 to this, y from 0 to that. The chart's
// scene has the same; plot.cpp holds the two to each other.
inline constexpr double kPlotMaxXcm = 42.83;
inline constexpr double kPlotMaxYcm = 30.0;

struct PlanePoint {
    double x_cm;
    double y_cm;
};

struct Equipotential {
    double volts;
    std::vector<PlanePoint> points; // in order along the line
    bool closed; // a loop, its last point the same as its first; else both ends lie on the plot's edge
};

// Lines at every stepV volts strictly between the electrodes' potentials
// (1 V: 1, 2, ..., 12 V), each level as one or more polylines over the plot.
// Marching squares on a grid of about gridCm, the crossings interpolated
// along the cells' edges, then thinned where a line runs straight to within
// toleranceCm.
std::vector<Equipotential> equipotentials(double stepV = 1.0, double gridCm = 0.1, double toleranceCm = 0.01);

// Where each level's voltage is written: the highest point of its longest
// line that leaves room for the text inside the plot.
struct LevelLabel {
    std::string text; // "3 V"
    PlanePoint at;    // the text's lower left
};
std::vector<LevelLabel> levelLabels(const std::vector<Equipotential>& lines);

} // namespace potencor::check
