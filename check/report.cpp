#include "check/report.h"

#include "core/text_decode.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <tuple>

namespace potencor::check {
namespace {

constexpr const char* kRed = "\x1b[31m";
constexpr const char* kYellow = "\x1b[33m";
constexpr const char* kCyan = "\x1b[36m";
constexpr const char* kGreen = "\x1b[32m";
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

std::string_view severityName(Severity s)
{
    switch (s) {
    case Severity::Error: return "error";
    case Severity::Warning: return "warning";
    case Severity::Info: return "note";
    }
    return "";
}

// Text from a student's file goes to a terminal: C1 controls (U+0080 to
// U+009F) would be read as escape sequences by some, so they are replaced.
std::string printable(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (static_cast<unsigned char>(s[i]) == 0xC2 && i + 1 < s.size()
            && static_cast<unsigned char>(s[i + 1]) >= 0x80 && static_cast<unsigned char>(s[i + 1]) <= 0x9F) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else if (s[i] == '\f' || s[i] == '\t') {
            out += ' ';
        } else {
            out += s[i];
        }
    }
    return out;
}

// File names are bytes; JSON wants UTF-8.
std::string validUtf8(std::string_view s)
{
    const text::Decoded d = text::decode(s, text::Encoding::Utf8);
    if (d.error != text::DecodeError::Malformed)
        return std::string(s);
    std::string out(s.substr(0, d.errorOffset));
    return out + "\xEF\xBF\xBD" + validUtf8(s.substr(d.errorOffset + 1));
}

std::string csvField(std::string_view s)
{
    if (s.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(s);
    std::string out = "\"";
    for (const char c : s) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

std::string jsonString(std::string_view raw)
{
    const std::string s = validUtf8(raw);
    std::string out = "\"";
    for (const char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(c));
                out += buf;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string number(long double v)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.10Lg", v);
    return buf;
}

std::string counts(const FileReport& r)
{
    return std::to_string(r.lines) + " lines, " + std::to_string(r.ok) + " ok, " + std::to_string(r.wrong)
           + " wrong, " + std::to_string(r.malformed) + " malformed, " + std::to_string(r.other) + " other";
}

std::string paint(std::string_view s, const char* colour, bool on)
{
    return on ? colour + std::string(s) + kReset : std::string(s);
}

const char* statusColour(std::string_view st)
{
    return st == "ok" ? kGreen : st == "warnings" ? kYellow : kRed;
}

} // namespace

std::string_view status(const FileReport& r)
{
    if (r.readError)
        return "unreadable";
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
        return std::make_tuple(!r->readError.has_value(), -static_cast<long long>(r->count(Severity::Error)),
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
        const Severity s = severityOf(f.kind);
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
    std::size_t width = 4;
    for (const FileReport* r : sorted)
        width = std::max(width, printable(r->path).size());
    width = std::min<std::size_t>(width, 60);
    char buf[160];
    std::snprintf(buf, sizeof buf, "%-10s %6s %6s %6s %9s %6s  ", "status", "lines", "ok", "wrong", "malformed",
                  "other");
    out << '\n' << paint(std::string(buf) + "file", kBold, colour) << '\n';
    std::size_t totals[5] = {};
    for (const FileReport* r : sorted) {
        const std::string_view st = status(*r);
        std::snprintf(buf, sizeof buf, "%-10s", std::string(st).c_str());
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
    std::snprintf(buf, sizeof buf, "%-10s %6zu %6zu %6zu %9zu %6zu  %zu files", "total", totals[0], totals[1],
                  totals[2], totals[3], totals[4], reports.size());
    out << buf << '\n';
}

void writeCsv(std::ostream& out, const std::vector<FileReport>& reports)
{
    out << "file,line,severity,kind,message,text,model_min_V,model_max_V\r\n";
    for (const FileReport* r : worstFirst(reports)) {
        const std::string file = csvField(r->path);
        if (r->readError) {
            out << file << ",,error,unreadable," << csvField(*r->readError) << ",,,\r\n";
            continue;
        }
        for (const Finding& f : r->findings) {
            out << file << ',' << f.line << ',' << severityName(severityOf(f.kind)) << ',' << kindName(f.kind) << ','
                << csvField(f.message) << ',' << csvField(f.text) << ',';
            if (f.model)
                out << number(f.model->lo) << ',' << number(f.model->hi);
            else
                out << ',';
            out << "\r\n";
        }
        if (r->unlisted > 0)
            out << file << ",,,unlisted," << r->unlisted << " more findings,,,\r\n";
        out << file << ",,," << "summary" << ',' << csvField(std::string(status(*r)) + ": " + counts(*r)) << ",,,\r\n";
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
            << ", \"other\": " << r->other << ", \"unlisted\": " << r->unlisted << ", \"findings\": [";
        bool first = true;
        for (const Finding& f : r->findings) {
            out << (first ? "\n" : ",\n") << "    {\"line\": " << f.line << ", \"severity\": \""
                << severityName(severityOf(f.kind)) << "\", \"kind\": \"" << kindName(f.kind)
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
