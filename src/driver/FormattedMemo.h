#pragma once
// The text of a formatted memo (field type 0x0E, "F").
//
// No public source documents how Paradox for Windows stores a formatted
// memo; this layout was worked out from every formatted memo in the corpus
// of real tables (Test.DB of ademkocamaz/lazarus-paradox, fmemo.db and
// fields.db of leonhad/paradoxdriver: five values, three distinct ones of 169
// to 726 bytes, typed in Paradox with the default font). All integers are
// little-endian.
//
//   offset 0   u32  sections, the text included (7 in every value seen)
//   offset 4   u32  bytes of the text, its closing NUL included
//   offset 8   a directory of the other sections, 6 bytes each:
//              u16 kind, u32 bytes (in every value seen: kinds 0x0A, 3, 2, 4,
//              6, 7 of 17, 8, 6, 8, 54 and 22 bytes)
//   then       the text as typed, in the table's code page, each paragraph
//              ended by CR LF, then a NUL
//   then       the other sections (in every value seen 121 bytes: the
//              directory's 115 and 6 more): paragraph and character runs and
//              a Windows LOGFONT ("Arial", 10 points), none of which the text
//              needs.
//
// So the text is found without reading the formatting: it starts right
// after the directory, and its length is given. A value that does not fit
// this layout (a directory or text running past the end, a text not ended
// by its NUL) is not taken for text; the reader then gives its bytes.
// Applications that store RTF in formatted memo fields (Delphi components
// do) write another layout, which this does not read.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace driver {

// The text bytes of a formatted memo (code page as stored, without the
// closing NUL), or nullopt when `data` is not in the layout above.
std::optional<std::string_view> formattedMemoText(const std::uint8_t* data, std::size_t size);

}  // namespace driver
