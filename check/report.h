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

// One file's findings and its summary line (text), as soon as it is checked.
void writeTextFile(std::ostream& out, const FileReport& r, bool colour);
// After all files: the table of files, worst first (text, more than one file).
void writeTextTable(std::ostream& out, const std::vector<FileReport>& reports, bool colour);

// Whole documents.
void writeCsv(std::ostream& out, const std::vector<FileReport>& reports);
void writeJson(std::ostream& out, const std::vector<FileReport>& reports);

// The file's status word: "ok", "warnings", "errors" or "unreadable".
std::string_view status(const FileReport& r);

} // namespace potencor::check
