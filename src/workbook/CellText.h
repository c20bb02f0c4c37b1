#pragma once
// Texts in cells: how long they may be, and how they are escaped.
//
// Texts are UTF-8. A byte that does not begin a well-formed UTF-8 sequence
// (a stray continuation byte, an overlong form, a surrogate, a sequence cut
// short) is written as U+FFFD, one for each such byte, so a file never holds
// malformed UTF-8.

#include <cstddef>
#include <string>
#include <string_view>

namespace workbook {

// UTF-16 code units a cell's text holds (Excel's limit; a character outside
// the Basic Multilingual Plane counts two).
inline constexpr std::size_t kCellTextUnits = 32'767;

// The longest prefix of text that holds at most maxUnits UTF-16 units and
// ends on a character boundary, in bytes. A malformed byte counts one unit.
std::size_t fittingTextBytes(std::string_view text, std::size_t maxUnits = kCellTextUnits);

// Bytes escapeXmlText appends at most for a text of `size` bytes.
constexpr std::size_t maxXmlTextSize(std::size_t size) { return 7 * size; }

// Appends text as the content of a sheet's <t> element, in one pass:
//   & < > as entities; tab and line feed as they are;
//   the other control characters U+0000-U+001F and the non-characters
//     U+FFFE, U+FFFF, which XML 1.0 cannot hold (or, for a carriage return,
//     turns into a line feed), as "_xHHHH_", which Excel and LibreOffice read
//     back as the character (U+0000 as "_x0000_");
//   a "_xHHHH_" the text holds itself as "_x005F_xHHHH_", so a reader does
//     not take it for an escape (likewise "_xHHHH" before a character
//     written as an escape: "_x0041" + U+0001 is "_x005F_x0041_x0001_");
//   malformed UTF-8 as U+FFFD.
// Writes to out, which must have room for maxXmlTextSize(text.size()) bytes;
// returns the end.
char* escapeXmlText(char* out, std::string_view text);

// The inverse of escapeXmlText on the character data after XML parsing
// (entities already resolved): "_xHHHH_" to the character. For tests and the
// fuzz target.
std::string unescapeXmlText(std::string_view text);

// Whether XML would drop leading or trailing white space of the text
// unless the element says xml:space="preserve".
bool needsSpacePreserved(std::string_view text);

// Appends text as one CSV field (RFC 4180): in double quotes, with quotes
// doubled, only when it holds a comma, a quote, a carriage return or a line
// feed; malformed UTF-8 as U+FFFD.
void appendCsvField(std::string& out, std::string_view text);

}  // namespace workbook
