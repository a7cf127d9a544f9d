#include "check/copies.h"

#include "core/calibration.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>

namespace potencor::check {
namespace {

constexpr std::uint32_t kNone = UINT32_MAX;
constexpr long double kMaxCm = 1e6L; // far beyond any screen: never a pixel

// A printed point, exact to its 0.001 cm, as one key.
std::uint64_t keyOf(long double x_cm, long double y_cm)
{
    const auto milli = [](long double v) {
        return static_cast<std::uint64_t>(std::llround(v * 1000) + static_cast<long long>(kMaxCm * 1000));
    };
    return milli(x_cm) << 32 | milli(y_cm);
}

struct Holders {
    std::uint32_t first;
    std::uint32_t more = kNone; // index of the list of the further files
};

void addCopy(FileReport& r, const std::string& with, std::size_t shared, std::size_t of, bool strict)
{
    r.copies.push_back({with, shared, of});
    // Listed whatever the cap: there are never more than there are files.
    const Severity severity = strict ? Severity::Error : Severity::Warning;
    r.findings.push_back({0, Kind::SuspectedCopy, severity,
                          "shares " + std::to_string(shared) + " of " + std::to_string(of)
                              + " measured points with " + with,
                          {}, std::nullopt, std::nullopt});
    ++r.bySeverity[static_cast<std::size_t>(severity)];
    ++r.other;
}

} // namespace

bool countsForCopies(long double x_cm, long double y_cm)
{
    if (!(std::fabs(x_cm) < kMaxCm && std::fabs(y_cm) < kMaxCm))
        return false;
    const auto onSnapGrid = [](long double v) { return std::llround(v * 1000) % 500 == 0; };
    if (onSnapGrid(x_cm) && onSnapGrid(y_cm))
        return false;
    // Half a pixel of the default calibration, in cm.
    static const calibration::Calibration cal = calibration::defaults();
    static const long double halfPxX = calibration::kSpanXcm / cal.Nx / 2;
    static const long double halfPxY = calibration::kSpanYcm / cal.Ny / 2;
    return std::fabs(x_cm - std::round(x_cm)) > halfPxX && std::fabs(y_cm - std::round(y_cm)) > halfPxY;
}

void findCopies(std::vector<FileReport>& reports, bool strict)
{
    std::size_t total = 0;
    for (const FileReport& r : reports)
        total += r.points.size();
    std::unordered_map<std::uint64_t, Holders> byPoint;
    byPoint.reserve(total);
    std::vector<std::vector<std::uint32_t>> more;  // files beyond the first, per shared point
    std::vector<std::size_t> counted(reports.size()); // each file's distinct points that count

    for (std::uint32_t f = 0; f < reports.size(); ++f) {
        for (const PointCm& p : reports[f].points) {
            if (!countsForCopies(p.x, p.y))
                continue;
            const auto [it, inserted] = byPoint.try_emplace(keyOf(p.x, p.y), Holders{f});
            Holders& h = it->second;
            if (!inserted) {
                const std::uint32_t last = h.more == kNone ? h.first : more[h.more].back();
                if (last == f)
                    continue; // the same point again in this file
                if (h.more == kNone) {
                    h.more = static_cast<std::uint32_t>(more.size());
                    more.emplace_back();
                }
                more[h.more].push_back(f);
            }
            ++counted[f];
        }
    }

    // Only points held by several files make pairs.
    std::unordered_map<std::uint64_t, std::size_t> sharedByPair;
    for (const auto& [key, h] : byPoint) {
        if (h.more == kNone)
            continue;
        const std::vector<std::uint32_t>& rest = more[h.more];
        for (std::size_t i = 0; i <= rest.size(); ++i) {
            const std::uint32_t a = i == 0 ? h.first : rest[i - 1];
            for (std::size_t j = i; j < rest.size(); ++j)
                ++sharedByPair[std::uint64_t{a} << 32 | rest[j]];
        }
    }

    std::vector<std::vector<std::pair<std::uint32_t, std::size_t>>> partners(reports.size());
    for (const auto& [key, shared] : sharedByPair) {
        const auto a = static_cast<std::uint32_t>(key >> 32), b = static_cast<std::uint32_t>(key);
        const std::size_t fewer = std::min(counted[a], counted[b]);
        if (shared >= kMinSharedPoints && 2 * shared >= fewer && reports[a].path != reports[b].path) {
            partners[a].emplace_back(b, shared);
            partners[b].emplace_back(a, shared);
        }
    }
    for (std::size_t f = 0; f < reports.size(); ++f) {
        // By path, whatever order the hash map kept.
        std::sort(partners[f].begin(), partners[f].end(),
                  [&](const auto& x, const auto& y) { return reports[x.first].path < reports[y.first].path; });
        for (const auto& [other, shared] : partners[f])
            addCopy(reports[f], reports[other].path, shared, counted[f], strict);
    }
}

} // namespace potencor::check
