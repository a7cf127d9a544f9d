#include "check/check.h"

#include "check/reach.h"
#include "core/extended.h"
#include "core/field.h"
#include "core/file_io.h"
#include "core/fixed3.h"
#include "core/protocol_parse.h"
#include "core/session.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <unordered_map>

namespace potencor::check {
namespace {

constexpr std::size_t kMaxQuotedBytes = 160; // of a line quoted in a finding

std::string quote(std::string_view line)
{
    if (line.size() <= kMaxQuotedBytes)
        return std::string(line);
    std::size_t n = kMaxQuotedBytes;
    while (n > 0 && (static_cast<unsigned char>(line[n]) & 0xC0) == 0x80)
        --n; // not inside a UTF-8 sequence
    return std::string(line.substr(0, n)) + "…";
}

bool isBlank(std::string_view s)
{
    return s.find_first_not_of(" \t\f") == std::string_view::npos;
}

// The leading "<number>:" of a line meant as a measurement line.
std::optional<std::int32_t> leadingNumber(std::string_view s)
{
    std::size_t i = s.find_first_not_of(" \t");
    if (i == std::string_view::npos)
        return std::nullopt;
    const bool negative = s[i] == '-';
    if (negative)
        ++i;
    const std::size_t start = i;
    long long v = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i - start < 11)
        v = v * 10 + (s[i++] - '0');
    if (i == start || i >= s.size() || s[i] != ':')
        return std::nullopt;
    v = negative ? -v : v;
    if (v < INT32_MIN || v > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(v);
}

// Free text or a measurement line gone wrong: anything with the line's own
// keys is the latter.
bool meantAsMeasurement(std::string_view s)
{
    if (s.find("phi") != std::string_view::npos || s.find("x=") != std::string_view::npos
        || s.find("y=") != std::string_view::npos)
        return true;
    const std::size_t i = s.find_first_not_of(" \t-");
    if (i == std::string_view::npos || s[i] < '0' || s[i] > '9')
        return false;
    const std::size_t j = s.find_first_not_of("0123456789", i);
    return j != std::string_view::npos && s[j] == ':';
}

// What sets a malformed line apart from the program's own, for the usual
// hand edits; the program's form is "N: x=…см y=…см phi=… В".
std::string diagnose(std::string_view s)
{
    if (!leadingNumber(s))
        return "no line number and colon at the start";
    if (s.find("cm") != std::string_view::npos || s.find("c\xD0\xBC") != std::string_view::npos
        || s.find("\xD1\x81m") != std::string_view::npos)
        return "Latin letters in the unit: the program writes Cyrillic \"см\"";
    if (s.ends_with(" B"))
        return "a Latin B: the program writes Cyrillic \"В\"";
    if (s.find("  ") != std::string_view::npos || s.find("= ") != std::string_view::npos
        || s.find(" :") != std::string_view::npos || s.front() == ' ' || s.back() == ' ')
        return "spaces where the program writes none";
    struct Field {
        std::string_view key, name;
    };
    char separator = 0;
    for (const Field f : {Field{": x=", "x"}, Field{" y=", "y"}, Field{" phi=", "phi"}}) {
        const std::string name(f.name);
        const std::size_t at = s.find(f.key);
        if (at == std::string_view::npos)
            return "no \"" + name + "=\" where the program writes it";
        std::size_t i = at + f.key.size();
        if (i < s.size() && s[i] == '-')
            ++i;
        const std::size_t intStart = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            ++i;
        if (i == intStart)
            return "no number after \"" + name + "=\"";
        if (i < s.size() && (s[i] == '.' || s[i] == ',')) {
            if (separator && separator != s[i])
                return "both a full stop and a comma as decimal separator";
            separator = s[i];
            const std::size_t fracStart = ++i;
            while (i < s.size() && s[i] >= '0' && s[i] <= '9')
                ++i;
            if (i - fracStart != 3)
                return name + " has " + std::to_string(i - fracStart) + " decimals: the program writes three";
        } else if (i >= s.size() || s[i] != 'E') {
            return name + " has no decimals: the program writes three";
        }
    }
    return "not in the program's form";
}

std::string format(const char* fmt, long double a, long double b)
{
    char buf[96];
    std::snprintf(buf, sizeof buf, fmt, a, b);
    return buf;
}

// Parsed values are never NaN, and a printed zero is never negative, so the
// parts are the value (std::hash<long double> spends its time on such cases).
struct PointHash {
    std::size_t operator()(const std::pair<long double, long double>& p) const
    {
        return bits(p.first) * 1000003u ^ bits(p.second);
    }
    static std::size_t bits(long double v)
    {
        const extended::Parts x = extended::parts(v);
        const std::uint64_t top = x.biasedExponent | (x.negative ? 0x8000u : 0u);
        return static_cast<std::size_t>(x.significand ^ (top << 48));
    }
};

class Checker {
public:
    explicit Checker(FileReport& r) : r_(r) {}

    void line(std::size_t no, std::string_view s)
    {
        if (const auto p = protocol::parseLine(s)) {
            measurement(no, s, *p);
            return;
        }
        if (meantAsMeasurement(s)) {
            ++r_.malformed;
            add(no, Kind::Malformed, diagnose(s), s);
            if (const auto n = leadingNumber(s))
                number(no, *n, s);
            return;
        }
        add(no, Kind::FreeText, isBlank(s) ? "empty line" : "text typed by hand", s);
    }

    void finish()
    {
        if (measured_ == 0)
            add(0, Kind::NoMeasurements, r_.lines == 0 ? "empty file: no measurement line" : "no measurement line", {});
    }

private:
    void measurement(std::size_t no, std::string_view s, const protocol::ParsedLine& p)
    {
        ++measured_;
        r_.points.push_back({p.X1_cm, p.Y1_cm, p.number, no, false});
        potential(no, s, p);
        number(no, p.number, s);

        const auto [it, inserted] = seen_.try_emplace({p.X1_cm, p.Y1_cm}, no);
        if (!inserted)
            add(no, Kind::DuplicatePoint, "the same point as line " + std::to_string(it->second), s);

        const bool rx = reachableX(p.x, p.X1_cm, p.separator);
        const bool ry = reachableY(p.y, p.Y1_cm, p.separator);
        if (!rx || !ry) {
            const std::string what = !rx && !ry ? "x=" + p.x + " and y=" + p.y : !rx ? "x=" + p.x : "y=" + p.y;
            add(no, Kind::NotAt100, what + ": no whole pixel at 100 % gives this, nor the 0.5 cm grid", s);
        }
    }

    void potential(std::size_t no, std::string_view s, const protocol::ParsedLine& p)
    {
        const Interval range = potentialRange(p.X1_cm, p.Y1_cm, halfUnit(p.x), halfUnit(p.y));
        if (printable(range, p.phi_V, halfUnit(p.phi))) {
            ++r_.ok;
            return;
        }
        ++r_.wrong;
        r_.points.back().wrong = true;
        std::optional<long double> model;
        try {
            model = field::potential(p.X1_cm, p.Y1_cm);
        } catch (...) {
            // beyond the model's range: the enclosure alone speaks
        }
        std::string msg = "phi=" + p.phi;
        if (model)
            msg += ", the model gives " + fixed3(*model, p.separator);
        msg += format(" (%.4Lf to %.4Lf V over the printed point's rounding)", range.lo, range.hi);
        push({no, Kind::WrongPotential, Severity::Error, std::move(msg), quote(s), range, model});
    }

    // What the program can write after the line before is the session's own
    // rule; a gap, a negative number or a first line other than 0 is an
    // error, a number again only a warning.
    void number(std::size_t no, std::int32_t n, std::string_view s)
    {
        const std::string ns = std::to_string(n);
        switch (numberStep(last_, n)) {
        case NumberStep::Next:
            break;
        case NumberStep::Negative:
            add(no, Kind::Numbering, "number " + ns + ": the program never writes a negative number", s);
            break;
        case NumberStep::FirstNotZero:
            add(no, Kind::Numbering, "the first line is number " + ns + ", the program starts at 0", s);
            break;
        case NumberStep::Gap: {
            const std::string from = std::to_string(*last_ + 1LL), to = std::to_string(n - 1LL);
            add(no, Kind::Numbering,
                "number " + ns + " after " + std::to_string(*last_) + ": "
                    + (from == to ? "number " + from + " is" : "numbers " + from + " to " + to + " are") + " missing",
                s);
            break;
        }
        case NumberStep::Reused:
            add(no, Kind::Renumbered,
                "number " + ns + " after " + std::to_string(*last_)
                    + ": the program repeats numbers only when an undo removed a line typed at the end"
                      " instead of a measurement",
                s);
            break;
        }
        last_ = n;
    }

    void add(std::size_t no, Kind kind, std::string message, std::string_view s)
    {
        if (kind != Kind::Malformed && kind != Kind::WrongPotential)
            ++r_.other;
        push({no, kind, severityOf(kind), std::move(message), quote(s), std::nullopt, std::nullopt});
    }

    void push(Finding f)
    {
        ++r_.bySeverity[static_cast<std::size_t>(f.severity)];
        if (r_.findings.size() < kMaxFindings)
            r_.findings.push_back(std::move(f));
        else
            ++r_.unlisted;
    }

    FileReport& r_;
    std::size_t measured_ = 0;
    std::optional<std::int32_t> last_;
    std::unordered_map<std::pair<long double, long double>, std::size_t, PointHash> seen_;
};

std::string byteOffset(std::size_t at) { return " at byte " + std::to_string(at); }

std::string sizeText(std::uint64_t bytes)
{
    char buf[32];
    if (bytes >= (1ull << 30))
        std::snprintf(buf, sizeof buf, "%.1f GB", bytes / double(1ull << 30));
    else
        std::snprintf(buf, sizeof buf, "%.0f MB", bytes / double(1ull << 20));
    return buf;
}

} // namespace

Severity severityOf(Kind k)
{
    switch (k) {
    case Kind::WrongPotential:
    case Kind::Malformed:
    case Kind::Numbering:
    case Kind::NoMeasurements:
        return Severity::Error;
    case Kind::Renumbered:
    case Kind::DuplicatePoint:
    case Kind::FreeText:
    case Kind::SuspectedCopy:
        return Severity::Warning;
    case Kind::NotAt100:
        return Severity::Info;
    }
    return Severity::Error;
}

std::string_view kindName(Kind k)
{
    switch (k) {
    case Kind::WrongPotential: return "wrong potential";
    case Kind::Malformed: return "malformed";
    case Kind::Numbering: return "numbering";
    case Kind::NoMeasurements: return "no measurements";
    case Kind::Renumbered: return "renumbered";
    case Kind::DuplicatePoint: return "duplicate point";
    case Kind::FreeText: return "free text";
    case Kind::NotAt100: return "not measured at 100 %";
    case Kind::SuspectedCopy: return "suspected copy";
    }
    return "?";
}


FileReport checkBytes(std::string path, std::string_view bytes, const Options& options)
{
    FileReport r;
    r.path = std::move(path);
    const text::Decoded d = options.encoding ? text::decode(bytes, *options.encoding) : text::decode(bytes);
    r.encoding = d.encoding;
    switch (d.error) {
    case text::DecodeError::Binary:
        r.readError = "binary data" + byteOffset(d.errorOffset) + ", not a text file";
        return r;
    case text::DecodeError::Malformed:
        r.readError = "not valid " + std::string(text::encodingName(d.encoding)) + byteOffset(d.errorOffset);
        return r;
    case text::DecodeError::None:
        break;
    }
    Checker c(r);
    protocol::forEachLine(d.utf8, [&](std::string_view line) { c.line(++r.lines, line); });
    c.finish();
    return r;
}

FileReport checkFile(const std::string& path, const Options& options)
{
    const files::ReadResult file = files::readBounded(path, options.maxBytes);
    const auto fail = [&](std::string why) {
        FileReport r;
        r.path = path;
        r.readError = std::move(why);
        return r;
    };
    const std::string tooLarge = "too large for a protocol (the limit is " + sizeText(options.maxBytes) + ")";
    switch (file.status) {
    case files::ReadResult::Status::Ok:
        break;
    case files::ReadResult::Status::CannotOpen:
    case files::ReadResult::Status::ReadFailed:
        return fail(std::strerror(file.error));
    case files::ReadResult::Status::Directory:
        return fail("is a directory");
    case files::ReadResult::Status::NotAFile:
        return fail("a FIFO or socket, not a file: not read");
    case files::ReadResult::Status::WouldWait:
        return fail("a device with nothing to read at once, not a file: not read");
    case files::ReadResult::Status::TooLarge:
        return fail(file.size ? sizeText(*file.size) + ": " + tooLarge : tooLarge);
    }
    return checkBytes(path, file.bytes, options);
}

} // namespace potencor::check
