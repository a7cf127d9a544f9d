#pragma once
// The checker's output: text (for people, coloured on a terminal), CSV and
// JSON (for spreadsheets and scripts).
#include "check/check.h"

#include <ostream>
#include <vector>

namespace potencor::check {

enum class Format { Text, Csv, Json };

// Worst first: unreadable files, then by errors, warnings and notes, then by path.
std::vector<const FileReport*> worstFirst(const std::vector<FileReport>& reports);

// One file's findings and its summary line (text), once every file is checked
// (a copy shows only then).
void writeTextFile(std::ostream& out, const FileReport& r, bool colour);
// After all files: the table of files, worst first (text, more than one file).
void writeTextTable(std::ostream& out, const std::vector<FileReport>& reports, bool colour);

// How a spreadsheet of the user's language reads CSV: where a comma is the
// decimal separator, fields are split at semicolons, and a UTF-8 byte-order
// mark makes Excel read the text as UTF-8.
struct CsvStyle {
    char separator;
    char decimal;
    bool byteOrderMark;
};
inline constexpr CsvStyle kCsvCommas{',', '.', false};
inline constexpr CsvStyle kCsvSemicolons{';', ',', true};
// Semicolons when the user's locale (LC_ALL, LC_NUMERIC, LANG, read as C
// reads them) has a decimal comma, else commas. Leaves LC_NUMERIC as it was.
CsvStyle csvStyleOfLocale();

// Whole documents.
void writeCsv(std::ostream& out, const std::vector<FileReport>& reports, const CsvStyle& style = kCsvCommas);
void writeJson(std::ostream& out, const std::vector<FileReport>& reports);

// "error", "warning" or "note".
std::string_view severityName(Severity s);
// "9 lines, 8 ok, 1 wrong, 0 malformed, 1 other".
std::string counts(const FileReport& r);

// The file's status word: "ok", "warnings", "errors", "suspected copy" or
// "unreadable".
std::string_view status(const FileReport& r);

} // namespace potencor::check
