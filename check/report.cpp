#include "check/report.h"

#include "check/escape.h"
#include "core/text_decode.h"

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <string>
#include <tuple>

namespace potencor::check {
namespace {

constexpr const char* kRed = "\x1b[31m";
constexpr const char* kYellow = "\x1b[33m";
constexpr const char* kCyan = "\x1b[36m";
constexpr const char* kGreen = "\x1b[32m";
constexpr const char* kMagenta = "\x1b[35m";
constexpr const char* kBold = "\x1b[1m";
constexpr const char* kReset = "\x1b[0m";

const char* colourOf(Severity s)
{
    switch (s) {
    case Severity::Error: return kRed;
    case Severity::Warning: return kYellow;
    case Severity::Info: return kCyan;
    }
    return "";
}

std::string number(long double v, char decimal = '.')
{
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.10Lg", v);
    std::string s = buf;
    std::replace(s.begin(), s.end(), '.', decimal);
    return s;
}

std::string paint(std::string_view s, const char* colour, bool on)
{
    return on ? colour + std::string(s) + kReset : std::string(s);
}

const char* statusColour(std::string_view st)
{
    return st == "ok" ? kGreen : st == "warnings" ? kYellow : st == "suspected copy" ? kMagenta : kRed;
}

std::string printable(std::string_view s) { return visible(s); }

} // namespace

std::string_view severityName(Severity s)
{
    switch (s) {
    case Severity::Error: return "error";
    case Severity::Warning: return "warning";
    case Severity::Info: return "note";
    }
    return "";
}

std::string counts(const FileReport& r)
{
    return std::to_string(r.lines) + " lines, " + std::to_string(r.ok) + " ok, " + std::to_string(r.wrong)
           + " wrong, " + std::to_string(r.malformed) + " malformed, " + std::to_string(r.other) + " other";
}

std::string_view status(const FileReport& r)
{
    if (r.readError)
        return "unreadable";
    if (!r.copies.empty())
        return "suspected copy";
    if (r.count(Severity::Error) > 0)
        return "errors";
    if (r.count(Severity::Warning) > 0)
        return "warnings";
    return "ok";
}

std::vector<const FileReport*> worstFirst(const std::vector<FileReport>& reports)
{
    std::vector<const FileReport*> v;
    for (const FileReport& r : reports)
        v.push_back(&r);
    const auto key = [](const FileReport* r) {
        return std::make_tuple(!r->readError.has_value(), r->copies.empty(),
                               -static_cast<long long>(r->count(Severity::Error)),
                               -static_cast<long long>(r->count(Severity::Warning)),
                               -static_cast<long long>(r->count(Severity::Info)));
    };
    std::stable_sort(v.begin(), v.end(), [&](const FileReport* a, const FileReport* b) {
        const auto ka = key(a), kb = key(b);
        return std::tie(ka, a->path) < std::tie(kb, b->path);
    });
    return v;
}

void writeTextFile(std::ostream& out, const FileReport& r, bool colour)
{
    const std::string path = printable(r.path);
    if (r.readError) {
        out << paint(path, kBold, colour) << ": " << paint("could not be read", kRed, colour) << ": "
            << *r.readError << '\n';
        return;
    }
    for (const Finding& f : r.findings) {
        const Severity s = f.severity;
        out << path << ':' << f.line << ": " << paint(std::string(severityName(s)) + ": " + std::string(kindName(f.kind)),
                                                       colourOf(s), colour)
            << ": " << printable(f.message) << '\n';
        if (!f.text.empty())
            out << "    " << printable(f.text) << '\n';
    }
    if (r.unlisted > 0)
        out << path << ": … and " << r.unlisted << " more findings, not listed\n";
    const std::string_view st = status(r);
    out << paint(path, kBold, colour) << ": " << paint(st, statusColour(st), colour) << ": " << counts(r) << " ("
        << text::encodingName(r.encoding) << ")\n";
}

void writeTextTable(std::ostream& out, const std::vector<FileReport>& reports, bool colour)
{
    const auto sorted = worstFirst(reports);
    // The status column widens only for a "suspected copy".
    int statusWidth = 10;
    for (const FileReport* r : sorted)
        statusWidth = std::max(statusWidth, static_cast<int>(status(*r).size()));
    char buf[160];
    std::snprintf(buf, sizeof buf, "%-*s %6s %6s %6s %9s %6s  ", statusWidth, "status", "lines", "ok", "wrong",
                  "malformed", "other");
    out << '\n' << paint(std::string(buf) + "file", kBold, colour) << '\n';
    std::size_t totals[5] = {};
    for (const FileReport* r : sorted) {
        const std::string_view st = status(*r);
        std::snprintf(buf, sizeof buf, "%-*s", statusWidth, std::string(st).c_str());
        out << paint(buf, statusColour(st), colour);
        if (r->readError)
            std::snprintf(buf, sizeof buf, " %6s %6s %6s %9s %6s  ", "-", "-", "-", "-", "-");
        else
            std::snprintf(buf, sizeof buf, " %6zu %6zu %6zu %9zu %6zu  ", r->lines, r->ok, r->wrong, r->malformed,
                          r->other);
        out << buf << printable(r->path) << '\n';
        const std::size_t row[5] = {r->lines, r->ok, r->wrong, r->malformed, r->other};
        for (int i = 0; i < 5; ++i)
            totals[i] += row[i];
    }
    std::snprintf(buf, sizeof buf, "%-*s %6zu %6zu %6zu %9zu %6zu  %zu files", statusWidth, "total", totals[0],
                  totals[1], totals[2], totals[3], totals[4], reports.size());
    out << buf << '\n';
}

CsvStyle csvStyleOfLocale()
{
    const char* current = std::setlocale(LC_NUMERIC, nullptr);
    const std::string previous = current ? current : "C";
    CsvStyle style = kCsvCommas;
    if (std::setlocale(LC_NUMERIC, "")) {
        const std::lconv* conv = std::localeconv();
        if (conv && conv->decimal_point && std::string_view(conv->decimal_point) == ",")
            style = kCsvSemicolons;
    }
    // The messages' numbers are printed with a full stop whatever the user's language.
    std::setlocale(LC_NUMERIC, previous.c_str());
    return style;
}

void writeCsv(std::ostream& out, const std::vector<FileReport>& reports, const CsvStyle& style)
{
    const char sep = style.separator;
    const auto text = [&](std::string_view s) { return csvText(s, sep); };
    const std::string empty3 = std::string(3, sep);
    if (style.byteOrderMark)
        out << "\xEF\xBB\xBF";
    out << "file" << sep << "line" << sep << "severity" << sep << "kind" << sep << "message" << sep << "text" << sep
        << "model_min_V" << sep << "model_max_V\r\n";
    for (const FileReport* r : worstFirst(reports)) {
        const std::string file = text(r->path);
        if (r->readError) {
            out << file << sep << sep << "error" << sep << "unreadable" << sep << text(*r->readError) << empty3
                << "\r\n";
            continue;
        }
        for (const Finding& f : r->findings) {
            out << file << sep << f.line << sep << severityName(f.severity) << sep << text(kindName(f.kind)) << sep
                << text(f.message) << sep << text(f.text) << sep;
            if (f.model)
                out << number(f.model->lo, style.decimal) << sep << number(f.model->hi, style.decimal);
            else
                out << sep;
            out << "\r\n";
        }
        if (r->unlisted > 0)
            out << file << sep << sep << sep << "unlisted" << sep << r->unlisted << " more findings" << empty3
                << "\r\n";
        out << file << sep << sep << sep << "summary" << sep << text(std::string(status(*r)) + ": " + counts(*r))
            << empty3 << "\r\n";
    }
}

void writeJson(std::ostream& out, const std::vector<FileReport>& reports)
{
    out << "{\"files\": [";
    bool firstFile = true;
    for (const FileReport* r : worstFirst(reports)) {
        out << (firstFile ? "\n" : ",\n") << "  {\"path\": " << jsonString(r->path) << ", \"status\": \""
            << status(*r) << '"';
        firstFile = false;
        if (r->readError) {
            out << ", \"error\": " << jsonString(*r->readError) << '}';
            continue;
        }
        out << ", \"encoding\": " << jsonString(text::encodingName(r->encoding)) << ", \"lines\": " << r->lines
            << ", \"ok\": " << r->ok << ", \"wrong\": " << r->wrong << ", \"malformed\": " << r->malformed
            << ", \"other\": " << r->other << ", \"unlisted\": " << r->unlisted << ", \"suspected_copies\": [";
        for (std::size_t i = 0; i < r->copies.size(); ++i) {
            const SharedPoints& c = r->copies[i];
            out << (i ? ", " : "") << "{\"with\": " << jsonString(c.with) << ", \"shared_points\": " << c.shared
                << ", \"of\": " << c.of << '}';
        }
        out << "], \"findings\": [";
        bool first = true;
        for (const Finding& f : r->findings) {
            out << (first ? "\n" : ",\n") << "    {\"line\": " << f.line << ", \"severity\": \""
                << severityName(f.severity) << "\", \"kind\": \"" << kindName(f.kind)
                << "\", \"message\": " << jsonString(f.message) << ", \"text\": " << jsonString(f.text);
            if (f.model)
                out << ", \"model_V\": {\"min\": " << number(f.model->lo) << ", \"max\": " << number(f.model->hi)
                    << (f.modelV ? ", \"at_point\": " + number(*f.modelV) : std::string()) << '}';
            out << '}';
            first = false;
        }
        out << (first ? "]}" : "\n  ]}");
    }
    out << (firstFile ? "]}\n" : "\n]}\n");
}

} // namespace potencor::check
