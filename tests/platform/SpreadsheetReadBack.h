#pragma once
// Reads a finished .xlsx back the way another program sees it: openpyxl
// (Debian's python3-openpyxl, run with /usr/bin/python3) for each cell's type,
// number format and value, each sheet's frozen panes and column widths, and
// the sheet XML for the stored text of each cell, row heights, hyperlinks and
// pictures (each part found through its relationships and given a content
// type, or the file does not read). Texts are given as Excel and LibreOffice
// read them: "_xHHHH_" decoded (openpyxl leaves it).

#include <QString>

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace spreadsheet_test {

struct ReadCell {
    std::string type;    // Python type openpyxl gives: str, int, float, bool, datetime, time
    std::string format;  // number format, "General" when none
    std::string value;   // str() of the value (repr() of a float); ISO text for dates and times, TRUE/FALSE for booleans
    std::string stored;  // the <v> or inline text in the sheet XML
    bool operator==(const ReadCell&) const = default;
};

inline void PrintTo(const ReadCell& cell, std::ostream* out) {
    *out << "{" << cell.type << ", \"" << cell.format << "\", \"" << cell.value << "\", stored \"" << cell.stored
         << "\"}";
}

struct ReadPicture {
    std::string cell;   // where its top-left corner is anchored ("B2")
    std::string to;     // and its far corner
    int width = 0;      // shown, in pixels
    int height = 0;
    std::string media;  // the image's part ("xl/media/image1.bmp")
    std::vector<std::uint8_t> bytes;  // the image file
};

struct ReadSheet {
    std::string name;
    int rows = 0;                           // openpyxl's max_row
    std::string frozen;                     // the top left cell below the frozen panes ("A2"), or empty
    std::map<std::string, double> widths;   // column widths by letter, where set
    std::map<std::string, ReadCell> cells;  // by reference ("B2"); empty cells are absent
    std::map<int, double> heights;          // row heights in points, where set
    std::map<std::string, std::string> links;  // hyperlink targets by cell
    std::vector<ReadPicture> pictures;      // in the drawing's order
};

// Every worksheet in order. Fails the current test (and returns nothing)
// when the file cannot be read.
std::vector<ReadSheet> readWorkbook(const QString& path);

}  // namespace spreadsheet_test
