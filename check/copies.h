#pragma once
// Protocols that share measured points were copied: the program prints x and
// y to 0.001 cm, which names one screen pixel among some 650,000, and two
// students working on their own almost never click the same one. README's
// teachers' section works out the threshold from the chance of a
// coincidence. No Qt.
#include "check/check.h"

#include <cstddef>
#include <vector>

namespace potencor::check {

// A pair of files is a suspected copy when it shares at least this many
// points that count, and at least half of those of the file with fewer.
inline constexpr std::size_t kMinSharedPoints = 5;

// Whether a measured point counts: not on the 0.5 cm snapping grid, and
// neither coordinate on the pixel of a drawn 1 cm grid line (within half a
// pixel of a whole cm), where students aim and so meet without copying.
bool countsForCopies(long double x_cm, long double y_cm);

// Finds the pairs among the readable reports and adds each pair to both
// files: a SharedPoints entry and a finding of kind SuspectedCopy, an error
// when strict. One pass over the points through a hash map from point to the
// files holding it: linear in the number of points, plus the number of
// (point, pair of files) it finds shared.
void findCopies(std::vector<FileReport>& reports, bool strict);

} // namespace potencor::check
