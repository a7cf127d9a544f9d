#pragma once
// potencor-check's command line, apart from drawing: arguments, inputs,
// output and exit status.
#include "check/check.h"
#include "check/equipotentials.h"

#include <functional>
#include <optional>
#include <ostream>
#include <string>

namespace potencor::check {

// Draws one protocol's points into a PNG, over these equipotential lines (if
// any); returns why it failed, if it did.
using Plotter = std::function<std::optional<std::string>(const FileReport&, const std::string& pngPath,
                                                         const std::vector<Equipotential>& lines)>;

inline constexpr int kExitOk = 0;
inline constexpr int kExitFindings = 1;
inline constexpr int kExitTrouble = 2; // a file unreadable, a plot unwritten, a bad argument

// Runs the checker; plot is empty where the build cannot draw.
int run(int argc, char** argv, std::ostream& out, std::ostream& err, const Plotter& plot, bool colour);

// Where the image of each input goes: the plot path itself for one input;
// for several, "<plot stem>-<input name>.png" beside it, names made unique.
std::vector<std::string> plotPaths(const std::string& plotPath, const std::vector<std::string>& inputNames);

} // namespace potencor::check
