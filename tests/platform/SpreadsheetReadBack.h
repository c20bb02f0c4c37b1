#pragma once
// Reads a finished .xlsx back the way another program sees it: openpyxl
// (Debian's python3-openpyxl, run with /usr/bin/python3) for each cell's type,
// number format and value, each sheet's frozen panes and column widths, and
// the sheet XML for the stored text of each cell. Texts are given as Excel
// and LibreOffice read them: "_xHHHH_" decoded (openpyxl leaves it).

#include <QString>

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

struct ReadSheet {
    std::string name;
    int rows = 0;                           // openpyxl's max_row
    std::string frozen;                     // the top left cell below the frozen panes ("A2"), or empty
    std::map<std::string, double> widths;   // column widths by letter, where set
    std::map<std::string, ReadCell> cells;  // by reference ("B2"); empty cells are absent
};

// Every worksheet in order. Fails the current test (and returns nothing)
// when the file cannot be read.
std::vector<ReadSheet> readWorkbook(const QString& path);

}  // namespace spreadsheet_test
