#pragma once
// Checking one protocol file against the program: its format, the model's
// potential, the numbering the program writes. No Qt.
#include "check/bound.h"
#include "core/protocol.h"
#include "core/text_decode.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace potencor::check {

enum class Kind {
    WrongPotential, // the printed potential is not the model's at that point
    Malformed,      // meant as a measurement line, but not in the program's form
    Numbering,      // a number the program cannot have written there
    NoMeasurements, // not a single measurement line
    Renumbered,     // a number again: only after lines typed at the end were undone
    DuplicatePoint, // the same coordinates as an earlier line
    FreeText,       // text the student typed
    NotAt100,       // coordinates no whole pixel at 100 % gives, nor the snap grid
    SuspectedCopy,  // measured points shared with another file of the run
};

enum class Severity { Error, Warning, Info };

// A kind's own severity; a suspected copy is an error under --strict.
Severity severityOf(Kind);
std::string_view kindName(Kind); // "wrong potential", "malformed", ...

struct Finding {
    std::size_t line; // 1-based; 0 for the file as a whole
    Kind kind;
    Severity severity;
    std::string message;
    std::string text;                  // the line (shortened if long), UTF-8
    std::optional<Interval> model;     // wrong potential: the model's range, V
    std::optional<long double> modelV; // wrong potential: the model at the printed point, V
};

struct PointCm {
    long double x;
    long double y;
    std::int32_t number; // its line's number
    std::size_t line;    // 1-based
    bool wrong;          // its potential is not the model's
};

// Another file of the same run that holds many of this file's measured
// points (see copies.h).
struct SharedPoints {
    std::string with;   // its path
    std::size_t shared; // points both files hold
    std::size_t of;     // this file's points that count
};

struct FileReport {
    std::string path;
    std::optional<std::string> readError; // set: the file could not be read, and why
    text::Encoding encoding = text::Encoding::Utf8;
    std::size_t lines = 0;
    std::size_t ok = 0;        // measurement lines whose potential fits
    std::size_t wrong = 0;     // measurement lines whose potential does not
    std::size_t malformed = 0;
    std::size_t other = 0;     // findings of the other kinds
    std::vector<Finding> findings; // in line order, the first kMaxFindings of them
    std::size_t unlisted = 0;      // findings beyond those
    std::vector<PointCm> points;   // the measured points in file order
    std::vector<SharedPoints> copies; // by the other file's path

    std::size_t count(Severity s) const { return bySeverity[static_cast<std::size_t>(s)]; }
    std::size_t bySeverity[3] = {}; // every finding, listed or not
};

// A file of junk lines would otherwise keep a finding for each: the list
// stops here, the counts go on.
inline constexpr std::size_t kMaxFindings = 1000;

struct Options {
    std::optional<text::Encoding> encoding; // forced; detected when empty
    std::uint64_t maxBytes = protocol::kMaxFileBytes; // larger files are refused unread
};

// Checks decoded bytes. Never throws.
FileReport checkBytes(std::string path, std::string_view bytes, const Options& options);
// Reads the file (at most options.maxBytes) and checks it. Never throws.
FileReport checkFile(const std::string& path, const Options& options);

} // namespace potencor::check
