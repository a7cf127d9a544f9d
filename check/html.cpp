#include "check/html.h"

#include "check/escape.h"
#include "check/report.h"
#include "core/calibration.h"
#include "core/field.h"
#include "core/text_decode.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string_view>

namespace potencor::check {
namespace {

constexpr int kWidthPx = 1000; // the program's chart
constexpr int kHeightPx = 700;
constexpr int kAxisLabelStepCm = 5;

const calibration::ChartMapping& mapping()
{
    static const calibration::ChartMapping m = calibration::chartMapping(calibration::defaults());
    return m;
}

std::string num(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", v);
    return buf;
}

std::string at(double x_cm, double y_cm)
{
    return num(mapping().toPxX(x_cm)) + " " + num(mapping().toPxY(y_cm));
}

std::string path(const std::vector<PlanePoint>& points)
{
    std::string d;
    for (std::size_t k = 0; k < points.size(); ++k)
        d += (k == 0 ? "M" : (k == 1 ? " L" : " ")) + at(points[k].x_cm, points[k].y_cm);
    return d;
}

std::string statusClass(std::string_view status)
{
    std::string c = "st-" + std::string(status);
    std::replace(c.begin(), c.end(), ' ', '-');
    return c;
}

constexpr const char* kStyle = R"(
body { font: 15px/1.4 "DejaVu Sans", "Liberation Sans", Arial, sans-serif; margin: 1.5em; color: #111; }
h1 { font-size: 1.5em; } h2 { font-size: 1.15em; margin: 0 0 .3em; overflow-wrap: anywhere; }
table { border-collapse: collapse; margin: .5em 0 1em; }
th, td { border: 1px solid #ccc; padding: .2em .5em; text-align: left; vertical-align: top; }
td.n, th.n { text-align: right; font-variant-numeric: tabular-nums; }
td.text { font-family: "DejaVu Sans Mono", monospace; white-space: pre-wrap; overflow-wrap: anywhere; }
section { border-top: 2px solid #888; padding-top: 1em; margin-top: 2em; }
.badge { display: inline-block; padding: 0 .4em; border-radius: .3em; color: #fff; }
.st-ok .badge, .badge.st-ok { background: #2e7d32; } .badge.st-warnings { background: #b26a00; }
.badge.st-errors, .badge.st-unreadable { background: #c62828; } .badge.st-suspected-copy { background: #6a1b9a; }
tr.st-errors td:first-child, tr.st-unreadable td:first-child { color: #c62828; font-weight: bold; }
tr.st-suspected-copy td:first-child { color: #6a1b9a; font-weight: bold; }
tr.st-warnings td:first-child { color: #b26a00; } tr.st-ok td:first-child { color: #2e7d32; }
.copy { color: #6a1b9a; font-weight: bold; }
.sev-error { color: #c62828; } .sev-warning { color: #b26a00; } .sev-note { color: #00695c; }
svg.chart { width: 100%; max-width: 1000px; height: auto; border: 1px solid #ddd; display: block; }
svg.defs { position: absolute; width: 0; height: 0; overflow: hidden; }
)";

} // namespace

std::string chartDefinitions(const std::vector<Equipotential>& lines)
{
    const calibration::ChartMapping& m = mapping();
    const double left = m.toPxX(0), right = m.toPxX(kPlotMaxXcm), top = m.toPxY(kPlotMaxYcm), bottom = m.toPxY(0);
    std::string s = "<svg class=\"defs\" aria-hidden=\"true\"><defs>\n";
    s += "<clipPath id=\"pc-plot\"><rect x=\"" + num(left) + "\" y=\"" + num(top) + "\" width=\"" + num(right - left)
         + "\" height=\"" + num(bottom - top) + "\"/></clipPath>\n";
    s += "<g id=\"pc-chart\">\n<rect y=\"-14\" width=\"" + std::to_string(kWidthPx) + "\" height=\""
         + std::to_string(kHeightPx + 34) + "\" fill=\"#fff\"/>\n";

    std::string grid;
    for (int x = 1; x < kPlotMaxXcm; ++x)
        grid += "M" + at(x, kPlotMaxYcm) + "V" + num(bottom);
    for (int y = 1; y < kPlotMaxYcm; ++y)
        grid += "M" + at(0, y) + "H" + num(right);
    s += "<path d=\"" + grid + "\" stroke=\"#d8d8d8\" stroke-width=\"1\" fill=\"none\"/>\n";

    s += "<g clip-path=\"url(#pc-plot)\" fill=\"none\" stroke=\"#5b8bd0\" stroke-width=\"1.2\">\n";
    for (const Equipotential& e : lines)
        s += "<path d=\"" + path(e.points) + "\"/>\n";
    s += "</g>\n<g font-size=\"12\" fill=\"#2f5d9e\" stroke=\"#fff\" stroke-width=\"3\" paint-order=\"stroke\">\n";
    for (const LevelLabel& label : levelLabels(lines))
        s += "<text x=\"" + num(m.toPxX(label.at.x_cm) + 3) + "\" y=\"" + num(m.toPxY(label.at.y_cm) - 3) + "\">"
             + label.text + "</text>\n";
    s += "</g>\n";

    const field::Outlines outlines = field::electrodeOutlines();
    for (const auto* outline : {&outlines.left, &outlines.right}) {
        std::vector<PlanePoint> points;
        for (const field::PointCm& p : *outline)
            points.push_back({static_cast<double>(p.x), static_cast<double>(p.y)});
        s += "<path d=\"" + path(points) + "Z\" fill=\"none\" stroke=\"#000\" stroke-width=\"4\"/>\n";
    }

    s += "<rect x=\"" + num(left) + "\" y=\"" + num(top) + "\" width=\"" + num(right - left) + "\" height=\""
         + num(bottom - top) + "\" fill=\"none\" stroke=\"#000\" stroke-width=\"1.5\"/>\n";
    s += "<g font-size=\"13\" fill=\"#000\" text-anchor=\"middle\">\n";
    for (int x = 0; x <= kPlotMaxXcm; x += kAxisLabelStepCm)
        s += "<text x=\"" + num(m.toPxX(x)) + "\" y=\"" + num(bottom + 18) + "\">" + std::to_string(x) + "</text>";
    for (int y = 0; y <= kPlotMaxYcm; y += kAxisLabelStepCm)
        s += "<text x=\"" + num(left - 16) + "\" y=\"" + num(m.toPxY(y) + 4) + "\">" + std::to_string(y) + "</text>";
    s += "<text x=\"" + num(right - 30) + "\" y=\"" + num(bottom + 34) + "\">x, y: cm</text>\n</g>\n";
    s += "</g>\n</defs></svg>\n";
    return s;
}

std::string chartSvg(const FileReport& r)
{
    const calibration::ChartMapping& m = mapping();
    // Room above the chart for the top axis label, below it for the axes' unit.
    std::string s = "<svg class=\"chart\" viewBox=\"0 -14 " + std::to_string(kWidthPx) + " "
                    + std::to_string(kHeightPx + 34) + "\" role=\"img\"><title>" + htmlText(r.path) + "</title><use href=\"#pc-chart\"/>\n";
    const auto onChart = [](double px, int size) { return px > -20 && px < size + 20; };
    std::string ok, wrong, numbers;
    for (const PointCm& p : r.points) {
        // A printed coordinate may lie beyond what a double holds.
        if (!(std::fabs(p.x) < 1e6L && std::fabs(p.y) < 1e6L))
            continue;
        const double x = m.toPxX(static_cast<double>(p.x)), y = m.toPxY(static_cast<double>(p.y));
        if (!onChart(x, kWidthPx) || !onChart(y, kHeightPx))
            continue;
        if (!p.wrong) {
            ok += "<circle cx=\"" + num(x) + "\" cy=\"" + num(y) + "\" r=\"3\"/>";
            continue;
        }
        wrong += "<circle cx=\"" + num(x) + "\" cy=\"" + num(y) + "\" r=\"5.5\"><title>line " + std::to_string(p.line)
                 + ": wrong potential</title></circle>";
        numbers += "<text x=\"" + num(x + 7) + "\" y=\"" + num(y - 7) + "\">" + std::to_string(p.number) + "</text>";
    }
    s += "<g fill=\"#1b4f9c\">" + ok + "</g>\n";
    s += "<g fill=\"#d40000\" stroke=\"#fff\" stroke-width=\"1.5\">" + wrong + "</g>\n";
    s += "<g font-size=\"15\" font-weight=\"bold\" fill=\"#b00000\" stroke=\"#fff\" stroke-width=\"3\" "
         "paint-order=\"stroke\">"
         + numbers + "</g>\n</svg>\n";
    return s;
}

std::string htmlReport(const std::vector<FileReport>& reports, const std::vector<Equipotential>& lines)
{
    const std::vector<const FileReport*> sorted = worstFirst(reports);
    std::map<std::string_view, std::size_t> anchor; // path to section
    for (std::size_t i = 0; i < sorted.size(); ++i)
        anchor.emplace(sorted[i]->path, i);
    const auto link = [&](const std::string& path) {
        const auto it = anchor.find(path);
        return it == anchor.end() ? htmlText(path)
                                  : "<a href=\"#f" + std::to_string(it->second) + "\">" + htmlText(path) + "</a>";
    };

    std::string s = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                    // Nothing but the page itself: no script, no fetching.
                    "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
                    "style-src 'unsafe-inline'\">\n"
                    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                    "<title>potencor-check: "
                    + std::to_string(reports.size()) + " protocols</title>\n<style>" + kStyle
                    + "</style>\n</head>\n<body>\n";
    s += chartDefinitions(lines);
    s += "<h1>Protocols checked: " + std::to_string(reports.size()) + "</h1>\n";
    s += "<p>Worst first. Each protocol's points are drawn over the model's equipotential lines (every 1 V); "
         "a point whose potential is wrong is red, with its number.</p>\n";

    s += "<table class=\"files\">\n<thead><tr><th>status</th><th class=\"n\">lines</th><th class=\"n\">ok</th>"
         "<th class=\"n\">wrong</th><th class=\"n\">malformed</th><th class=\"n\">other</th><th>file</th></tr></thead>"
         "\n<tbody>\n";
    std::size_t totals[5] = {};
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        const FileReport& r = *sorted[i];
        const std::string_view st = status(r);
        s += "<tr class=\"" + statusClass(st) + "\"><td>" + std::string(st) + "</td>";
        const std::size_t row[5] = {r.lines, r.ok, r.wrong, r.malformed, r.other};
        for (int k = 0; k < 5; ++k) {
            s += "<td class=\"n\">" + (r.readError ? std::string("–") : std::to_string(row[k])) + "</td>";
            totals[k] += row[k];
        }
        s += "<td><a href=\"#f" + std::to_string(i) + "\">" + htmlText(r.path) + "</a></td></tr>\n";
    }
    s += "</tbody>\n<tfoot><tr><th>total</th>";
    for (const std::size_t t : totals)
        s += "<th class=\"n\">" + std::to_string(t) + "</th>";
    s += "<th>" + std::to_string(reports.size()) + (reports.size() == 1 ? " file" : " files") + "</th></tr></tfoot>\n</table>\n";

    for (std::size_t i = 0; i < sorted.size(); ++i) {
        const FileReport& r = *sorted[i];
        const std::string_view st = status(r);
        s += "<section id=\"f" + std::to_string(i) + "\">\n<h2><span class=\"badge " + statusClass(st) + "\">"
             + std::string(st) + "</span> " + htmlText(r.path) + "</h2>\n";
        if (r.readError) {
            s += "<p>Could not be read: " + htmlText(*r.readError) + "</p>\n</section>\n";
            continue;
        }
        s += "<p>" + counts(r) + " (" + std::string(text::encodingName(r.encoding)) + ")</p>\n";
        for (const SharedPoints& c : r.copies)
            s += "<p class=\"copy\">Shares " + std::to_string(c.shared) + " of " + std::to_string(c.of)
                 + " measured points with " + link(c.with) + ".</p>\n";
        if (r.findings.empty()) {
            s += "<p>No findings.</p>\n";
        } else {
            s += "<table class=\"findings\"><thead><tr><th class=\"n\">line</th><th>severity</th><th>kind</th>"
                 "<th>finding</th><th>the line</th></tr></thead>\n<tbody>\n";
            for (const Finding& f : r.findings) {
                const std::string_view sev = severityName(f.severity);
                // A finding about the whole file (a suspected copy) has no line.
                const std::string line = f.line > 0 ? std::to_string(f.line) : std::string();
                s += "<tr><td class=\"n\">" + line + "</td><td class=\"sev-" + std::string(sev)
                     + "\">" + std::string(sev) + "</td><td>" + htmlText(kindName(f.kind)) + "</td><td>"
                     + htmlText(f.message) + "</td><td class=\"text\">" + htmlText(f.text) + "</td></tr>\n";
            }
            s += "</tbody></table>\n";
            if (r.unlisted > 0)
                s += "<p>… and " + std::to_string(r.unlisted) + " more findings, not listed.</p>\n";
        }
        s += chartSvg(r);
        s += "</section>\n";
    }
    s += "<p><small>potencor-check " POTENCOR_VERSION "</small></p>\n</body>\n</html>\n";
    return s;
}

} // namespace potencor::check
