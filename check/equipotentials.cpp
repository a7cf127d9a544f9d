#include "check/equipotentials.h"

#include "core/field.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace potencor::check {
namespace {

struct Grid {
    int nx, ny;    // cells
    double hx, hy; // cm
    std::vector<double> v; // (nx + 1) * (ny + 1) node potentials, row by row from y = 0

    double at(int i, int j) const { return v[static_cast<std::size_t>(j) * (nx + 1) + i]; }
    // Edges: horizontal from node (i, j) to (i + 1, j) is 2 * node, vertical
    // from (i, j) to (i, j + 1) is 2 * node + 1.
    std::size_t node(int i, int j) const { return static_cast<std::size_t>(j) * (nx + 1) + i; }
    std::size_t hEdge(int i, int j) const { return 2 * node(i, j); }
    std::size_t vEdge(int i, int j) const { return 2 * node(i, j) + 1; }

    PlanePoint crossing(std::size_t edge, double level) const
    {
        const std::size_t n = edge / 2;
        const int i = static_cast<int>(n % (nx + 1)), j = static_cast<int>(n / (nx + 1));
        const bool vertical = edge % 2;
        const double a = at(i, j), b = vertical ? at(i, j + 1) : at(i + 1, j);
        const double t = (level - a) / (b - a);
        return vertical ? PlanePoint{i * hx, (j + t) * hy} : PlanePoint{(i + t) * hx, j * hy};
    }
};

Grid sample(double gridCm)
{
    Grid g;
    g.nx = static_cast<int>(std::ceil(kPlotMaxXcm / gridCm));
    g.ny = static_cast<int>(std::ceil(kPlotMaxYcm / gridCm));
    g.hx = kPlotMaxXcm / g.nx;
    g.hy = kPlotMaxYcm / g.ny;
    g.v.resize(static_cast<std::size_t>(g.nx + 1) * (g.ny + 1));
    for (int j = 0; j <= g.ny; ++j)
        for (int i = 0; i <= g.nx; ++i)
            g.v[g.node(i, j)] = static_cast<double>(field::potential(i * g.hx, j * g.hy));
    return g;
}

// The segments of one level, each joining two crossed edges.
std::vector<std::array<std::size_t, 2>> segments(const Grid& g, double level)
{
    std::vector<std::array<std::size_t, 2>> out;
    for (int j = 0; j < g.ny; ++j) {
        for (int i = 0; i < g.nx; ++i) {
            // Corners counter-clockwise from the lower left; edge k runs from
            // corner k to corner k + 1.
            const double c[4] = {g.at(i, j), g.at(i + 1, j), g.at(i + 1, j + 1), g.at(i, j + 1)};
            const std::size_t e[4] = {g.hEdge(i, j), g.vEdge(i + 1, j), g.hEdge(i, j + 1), g.vEdge(i, j)};
            bool above[4];
            int mask = 0;
            for (int k = 0; k < 4; ++k) {
                above[k] = c[k] >= level;
                mask |= above[k] << k;
            }
            if (mask == 0 || mask == 15)
                continue;
            std::size_t crossed[4];
            int n = 0;
            for (int k = 0; k < 4; ++k)
                if (above[k] != above[(k + 1) % 4])
                    crossed[n++] = static_cast<std::size_t>(k);
            if (n == 2) {
                out.push_back({e[crossed[0]], e[crossed[1]]});
                continue;
            }
            // A saddle: the centre's side decides which corners the line cuts off.
            const bool centreAbove = (c[0] + c[1] + c[2] + c[3]) / 4 >= level;
            const int cut = centreAbove == above[0] ? 1 : 0; // cut corners cut and cut + 2
            for (const int corner : {cut, cut + 2})
                out.push_back({e[(corner + 3) % 4], e[corner]}); // the two edges meeting at the corner
        }
    }
    return out;
}

// Douglas-Peucker: the points that keep the line within tolerance.
void thin(const std::vector<PlanePoint>& p, std::size_t a, std::size_t b, double tol, std::vector<bool>& keep)
{
    if (b <= a + 1)
        return;
    const double dx = p[b].x_cm - p[a].x_cm, dy = p[b].y_cm - p[a].y_cm;
    const double len = std::hypot(dx, dy);
    double worst = -1;
    std::size_t at = a;
    for (std::size_t k = a + 1; k < b; ++k) {
        const double ex = p[k].x_cm - p[a].x_cm, ey = p[k].y_cm - p[a].y_cm;
        const double d = len > 0 ? std::fabs(ex * dy - ey * dx) / len : std::hypot(ex, ey);
        if (d > worst) {
            worst = d;
            at = k;
        }
    }
    if (worst <= tol)
        return;
    keep[at] = true;
    thin(p, a, at, tol, keep);
    thin(p, at, b, tol, keep);
}

std::vector<PlanePoint> thinned(const std::vector<PlanePoint>& p, double tol)
{
    if (p.size() < 3)
        return p;
    std::vector<bool> keep(p.size(), false);
    keep.front() = keep.back() = true;
    // A loop's ends meet: split it at its farthest point, so that the halves
    // have a chord to measure against.
    std::size_t far = p.size() - 1;
    if (p.front().x_cm == p.back().x_cm && p.front().y_cm == p.back().y_cm) {
        double best = -1;
        for (std::size_t k = 1; k + 1 < p.size(); ++k) {
            const double d = std::hypot(p[k].x_cm - p[0].x_cm, p[k].y_cm - p[0].y_cm);
            if (d > best) {
                best = d;
                far = k;
            }
        }
        keep[far] = true;
        thin(p, 0, far, tol, keep);
    }
    thin(p, far == p.size() - 1 ? 0 : far, p.size() - 1, tol, keep);
    std::vector<PlanePoint> out;
    for (std::size_t k = 0; k < p.size(); ++k)
        if (keep[k])
            out.push_back(p[k]);
    return out;
}

// Joins a level's segments into lines: first those that start on the
// plot's edge, then the loops that are left.
void join(const Grid& g, double level, const std::vector<std::array<std::size_t, 2>>& segs, double tol,
          std::vector<Equipotential>& out)
{
    constexpr std::uint32_t kNone = UINT32_MAX;
    // Every edge is shared by at most two cells, each adding at most one
    // segment there.
    std::vector<std::array<std::uint32_t, 2>> byEdge(2 * g.node(g.nx, g.ny) + 2, {kNone, kNone});
    for (std::uint32_t s = 0; s < segs.size(); ++s)
        for (const std::size_t e : segs[s])
            byEdge[e][byEdge[e][0] == kNone ? 0 : 1] = s;
    std::vector<bool> used(segs.size(), false);
    const auto degree = [&](std::size_t e) { return (byEdge[e][0] != kNone) + (byEdge[e][1] != kNone); };

    const auto trace = [&](std::uint32_t s, std::size_t start) {
        std::vector<PlanePoint> points{g.crossing(start, level)};
        std::size_t edge = start;
        while (s != kNone && !used[s]) {
            used[s] = true;
            edge = segs[s][0] == edge ? segs[s][1] : segs[s][0];
            points.push_back(g.crossing(edge, level));
            const auto& there = byEdge[edge];
            s = there[0] == s ? there[1] : there[0];
        }
        out.push_back({level, thinned(points, tol), edge == start});
    };
    for (std::uint32_t s = 0; s < segs.size(); ++s) {
        for (const std::size_t end : segs[s])
            if (!used[s] && degree(end) == 1)
                trace(s, end);
    }
    for (std::uint32_t s = 0; s < segs.size(); ++s)
        if (!used[s])
            trace(s, segs[s][0]);
}

} // namespace

std::vector<Equipotential> equipotentials(double stepV, double gridCm, double toleranceCm)
{
    const Grid g = sample(gridCm);
    std::vector<Equipotential> out;
    const double top = static_cast<double>(field::detail::kFullScale); // the right electrode; the left is 0 V
    for (int k = 1; k * stepV < top - 1e-9; ++k)
        join(g, k * stepV, segments(g, k * stepV), toleranceCm, out);
    return out;
}

std::vector<LevelLabel> levelLabels(const std::vector<Equipotential>& lines)
{
    std::vector<LevelLabel> out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0 && lines[i - 1].volts == lines[i].volts)
            continue; // a level's lines come together
        const Equipotential* longest = &lines[i];
        for (std::size_t k = i + 1; k < lines.size() && lines[k].volts == lines[i].volts; ++k)
            if (lines[k].points.size() > longest->points.size())
                longest = &lines[k];
        const PlanePoint* best = nullptr;
        for (const PlanePoint& p : longest->points) {
            const bool room = p.y_cm <= kPlotMaxYcm - 1.5 && p.x_cm >= 0.5 && p.x_cm <= kPlotMaxXcm - 1.5;
            if (room && (!best || p.y_cm > best->y_cm))
                best = &p;
        }
        if (best) {
            char text[32];
            std::snprintf(text, sizeof text, "%g V", lines[i].volts);
            out.push_back({text, *best});
        }
    }
    return out;
}

} // namespace potencor::check
