#pragma once
// Text a student chose (a file name, a line of a protocol) on its way to a
// terminal, a spreadsheet, a JSON reader or a browser. Whatever the bytes,
// none of them gets to act there: no escape sequence reaches a terminal, no
// formula a spreadsheet, no markup a page.
#include <string>
#include <string_view>

namespace potencor::check {

// The text with every character that could steer a terminal or hide what the
// text says written out visibly: C0 controls and DEL as \xNN (tab \t, line
// feed \n, carriage return \r), C1 controls, bidirectional overrides and
// isolates and the line and paragraph separators as \uNNNN, and bytes that
// are not UTF-8 as \xNN. The result is valid UTF-8.
enum class Tabs { Escape, Keep };
std::string visible(std::string_view text, Tabs tabs = Tabs::Escape);

// A JSON string literal, quotes included: valid for any bytes (those that
// are not UTF-8 become U+FFFD), with the characters visible() writes out
// escaped as \uNNNN, so that the document is safe in a terminal too.
std::string jsonString(std::string_view text);

// Visible text for HTML element content and quoted attribute values.
std::string htmlText(std::string_view text);

// One CSV field of text: visible (tabs kept; a carriage return written out),
// a leading = + - @ or tab neutralised by a leading apostrophe so that no spreadsheet
// takes it for a formula, and quoted when it holds the separator, a quote, a
// line end or was neutralised.
std::string csvText(std::string_view text, char separator);

} // namespace potencor::check
