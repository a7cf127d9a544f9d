#pragma once
// The class report as one self-contained HTML page: the table of files,
// worst first, then a section per file with its findings and its points on
// the chart, drawn as inline SVG over the model's equipotential lines. Needs
// nothing beyond the page (no network, no other file, no script), and every
// piece of a student's text in it is escaped. No Qt.
#include "check/check.h"
#include "check/equipotentials.h"

#include <string>
#include <vector>

namespace potencor::check {

// One protocol's chart as an <svg> element; draws on the page's shared
// drawing (chartDefinitions), which must come before it in the page.
std::string chartSvg(const FileReport& r);
// The drawing every chart shares: background, grid, axes, the equipotential
// lines with their voltages and the electrodes, as hidden SVG definitions.
std::string chartDefinitions(const std::vector<Equipotential>& lines);

std::string htmlReport(const std::vector<FileReport>& reports, const std::vector<Equipotential>& lines);

} // namespace potencor::check
