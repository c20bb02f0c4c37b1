#include "export/ExportReport.h"

#include <algorithm>
#include <cstring>

namespace exporting {
namespace {

std::string plural(std::int64_t count, const char* one, const char* many) {
    return groupedNumber(count) + " " + (count == 1 ? one : many);
}

// "a", "a and b", "a, b and c"; with `more` left out, "a, b, c and 4 more".
std::string joined(const std::vector<std::string>& items, std::int64_t more = 0) {
    std::string text;
    const std::size_t n = items.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) text += i + 1 == n && more == 0 ? " and " : ", ";
        text += items[i];
    }
    if (more > 0) text += " and " + groupedNumber(more) + " more";
    return text;
}

}  // namespace

std::string groupedNumber(std::int64_t number) {
    const std::string digits = std::to_string(number);
    const std::size_t first = number < 0 ? 1 : 0;
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > first && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

void ExportReport::Tally::note(std::int64_t row, int column, const std::string& why) {
    if (count++ == 0) firstReason = why;
    // Rows arrive in order, so a row already counted is the last one.
    if (rows.empty() || rows.back() != row) {
        if (rowsAffected < std::int64_t(kFirstFew)) rows.push_back(row);
        ++rowsAffected;
    }
    if (column > 0) {
        const auto at = std::lower_bound(columns.begin(), columns.end(), column);
        if (at == columns.end() || *at != column) columns.insert(at, column);
    }
}

void ExportReport::setColumnNames(std::vector<std::string> names) { columnNames_ = std::move(names); }

void ExportReport::noteDamage(const std::string& damage, bool rowsInDoubt) {
    damage_ = damage;
    rowsInDoubt_ = !damage.empty() && rowsInDoubt;
}

void ExportReport::noteUnreadableRow(std::int64_t tableRow, const std::string& why) {
    unreadableRows_.note(tableRow, 0, why);
    if (skippedRows_.size() < kRowsMapped) skippedRows_.push_back(tableRow);
}

void ExportReport::noteUnreadableValue(std::int64_t sheetRow, int column, const std::string& why) {
    unreadableValues_.note(sheetRow, column, why);
}

void ExportReport::noteUnreadableValue(std::int64_t sheetRow, int column, const driver::ValueError& error) {
    noteUnreadableValue(sheetRow, column, error.detail.empty() ? error.message : error.detail);
}

void ExportReport::noteFields(const std::vector<driver::Field>& fields) {
    renamedColumns_.clear();
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (fields[i].nameReplaced) renamedColumns_.push_back(int(i) + 1);
}

ExportReport::Tally ExportReport::writerTally(std::int64_t cells, const std::vector<int>& columns,
                                              const std::vector<std::int64_t>& firstRows) {
    Tally tally;
    tally.count = cells;
    tally.columns = columns;
    std::sort(tally.columns.begin(), tally.columns.end());
    tally.columns.erase(std::unique(tally.columns.begin(), tally.columns.end()), tally.columns.end());
    tally.rows.assign(firstRows.begin(), firstRows.begin() + std::ptrdiff_t(std::min(firstRows.size(), kFirstFew)));
    // The writer keeps the first few rows only: past those, how many is not known.
    tally.rowsAffected = firstRows.size() < workbook::Report::kCutRowsKept ? std::int64_t(firstRows.size()) : -1;
    return tally;
}

void ExportReport::noteCutTexts(std::int64_t cells, const std::vector<int>& columns,
                                const std::vector<std::int64_t>& firstRows) {
    cutTexts_ = writerTally(cells, columns, firstRows);
}

void ExportReport::noteUnshownPictures(std::int64_t cells, const std::vector<int>& columns,
                                       const std::vector<std::int64_t>& firstRows, const std::string& why) {
    unshownPictures_ = writerTally(cells, columns, firstRows);
    unshownPictures_.firstReason = why;
}

void ExportReport::noteSheets(int sheets, std::int64_t dataRowsPerSheet) {
    sheets_ = sheets;
    dataRowsPerSheet_ = dataRowsPerSheet;
}

void ExportReport::noteWriter(const workbook::Report& written) {
    noteUnshownPictures(written.unshown, written.unshownColumns, written.unshownRows, written.unshownReason);
    noteCutTexts(written.cutTexts, written.cutColumns, written.cutRows);
    // Every sheet but the last is full, so the first one's rows are the rows a sheet holds.
    if (!written.sheets.empty()) noteSheets(int(written.sheets.size()), written.sheets.front().rows);
    sheetNames_.clear();
    for (const workbook::SheetRows& sheet : written.sheets) sheetNames_.push_back(sheet.name);
    notices_ = written.notices;
    rowsFromData_ = written.rowsFromData;
}

void ExportReport::noteCodePage(const driver::CodePageEvidence& evidence) {
    usedCodePage_ = evidence.used;
    unknownCodePage_ = evidence.chosen || evidence.declaredKnown ? 0 : evidence.declared;
    likelyCodePage_ = evidence.chosen ? 0 : evidence.textShows;
}

bool ExportReport::lost() const {
    return codePageInDoubt() || rowsInDoubt_ || !renamedColumns_.empty() || unreadableRows_.count > 0 ||
           unreadableValues_.count > 0 || cutTexts_.count > 0 || unshownPictures_.count > 0;
}

std::string ExportReport::columnList(const std::vector<int>& columns) const {
    std::vector<std::string> names;
    for (int column : columns)
        names.push_back(column >= 1 && std::size_t(column) <= columnNames_.size() ? columnNames_[std::size_t(column - 1)]
                                                                                 : "column " + std::to_string(column));
    return joined(names);
}

std::string ExportReport::sheetName(int index) const {
    if (index >= 0 && std::size_t(index) < sheetNames_.size()) return sheetNames_[std::size_t(index)];
    return "Sheet" + std::to_string(index + 1);
}

std::string ExportReport::sheetRowName(std::int64_t sheetRow) const {
    if (rowsFromData_) return groupedNumber(sheetRow - 1);
    const std::int64_t perSheet = dataRowsPerSheet_;
    if (perSheet <= 0 || sheetRow < 2 || sheetRow - 2 < perSheet) return groupedNumber(sheetRow);
    return sheetName(int((sheetRow - 2) / perSheet)) + " row " + groupedNumber((sheetRow - 2) % perSheet + 2);
}

std::string ExportReport::inSheetRows(const std::string& damage) const {
    // Past the rows kept, which sheet row a table row went to is not known: the reader's words stay.
    if (std::int64_t(skippedRows_.size()) < unreadableRows_.count) return damage;
    auto digit = [&](std::size_t at) { return at < damage.size() && damage[at] >= '0' && damage[at] <= '9'; };
    // A grouped number at `at` ("1,048,575"; a list goes on with ", "): its value, and where it ends.
    auto number = [&](std::size_t at, std::int64_t& value) {
        value = 0;
        for (; digit(at) || (damage[at] == ',' && digit(at + 1)); ++at)
            if (damage[at] != ',') value = value * 10 + (damage[at] - '0');
        return at;
    };
    auto sheetRow = [&](std::int64_t tableRow) {
        const auto skipped = std::lower_bound(skippedRows_.begin(), skippedRows_.end(), tableRow) - skippedRows_.begin();
        return sheetRowName(tableRow + 1 - std::int64_t(skipped));
    };
    std::string text;
    std::size_t at = 0;
    while (at < damage.size()) {
        const std::size_t found = damage.find("table row", at);
        if (found == std::string::npos) break;
        text.append(damage, at, found - at);
        std::size_t next = found + 9;
        const bool many = damage.compare(next, 2, "s ") == 0;
        next += many ? 2 : 1;
        if (!digit(next) || (!many && damage[next - 1] != ' ')) {
            text.append(damage, found, next - found);
            at = next;
            continue;
        }
        text += many ? "rows " : "row ";
        // A list of rows and ranges: "3", "3-8", "3-8, 12 and 20".
        while (digit(next)) {
            std::int64_t row = 0;
            std::size_t end = number(next, row);
            text += sheetRow(row);
            if (end < damage.size() && damage[end] == '-' && digit(end + 1)) {
                end = number(end + 1, row);
                text += "-" + sheetRow(row);
            }
            next = end;
            for (const char* separator : {", ", " and "})
                if (damage.compare(next, std::strlen(separator), separator) == 0 && digit(next + std::strlen(separator))) {
                    text += separator;
                    next += std::strlen(separator);
                    break;
                }
        }
        at = next;
    }
    text.append(damage, at);
    return text;
}

std::string ExportReport::sheetRowList(const Tally& tally) const {
    std::vector<std::string> names;
    for (std::int64_t row : tally.rows) names.push_back(sheetRowName(row));
    const std::string list = (names.size() == 1 && tally.rowsAffected == 1 ? "row " : "rows ");
    if (tally.rowsAffected < 0) return list + joined(names) + " and others";
    return list + joined(names, tally.rowsAffected - std::int64_t(tally.rows.size()));
}

std::string ExportReport::summary(const std::string& newline) const {
    if (whole()) return "Done.";
    const std::string gap = newline + newline;
    std::string text = lost() ? "Done, but not everything arrived as it is in the table:" : "Done.";

    if (!damage_.empty()) {
        std::string lines = inSheetRows(damage_);
        for (std::size_t at = lines.find('\n'); at != std::string::npos; at = lines.find('\n', at + newline.size()))
            lines.replace(at, 1, newline);
        text += gap +
                (rowsInDoubt_ ? "The table is damaged:"
                              : "The table is damaged, but every row it holds was read, in its place:") +
                newline + lines;
    }
    if (!renamedColumns_.empty()) {
        const auto n = std::int64_t(renamedColumns_.size());
        text += gap + plural(n, "field name", "field names") + " could not be read from the table; the header row " +
                (n == 1 ? "names that field by its number: " : "names those fields by their numbers: ") +
                columnList(renamedColumns_) + ".";
    }
    if (unknownCodePage_ != 0) {
        text += gap + "The table's header names code page " + std::to_string(unknownCodePage_) +
                ", which Vellomar does not know; its text was read as code page " + std::to_string(usedCodePage_) +
                ", so letters may be wrong.";
    }
    if (likelyCodePage_ != 0) {
        const std::string page = std::to_string(likelyCodePage_);
        text += gap + "The text looks like code page " + page + ", not " + std::to_string(usedCodePage_) +
                " as the table says, so letters may be wrong; from the command line, vellomar export --code-page " +
                page + " exports it with code page " + page + ".";
    }
    if (const Tally& t = unreadableRows_; t.count > 0) {
        std::vector<std::string> rows;
        for (std::int64_t row : t.rows) rows.push_back(groupedNumber(row));
        text += gap + plural(t.count, "row", "rows") + " of the table could not be read and " +
                (t.count == 1 ? "is" : "are") + " not in the workbook: " + (t.count == 1 ? "table row " : "table rows ") +
                joined(rows, t.rowsAffected - std::int64_t(t.rows.size())) + " (" + t.firstReason + ").";
    }
    if (const Tally& t = unreadableValues_; t.count > 0) {
        text += gap + plural(t.count, "value", "values") + " could not be read; " +
                (t.count == 1 ? "its cell says" : "their cells say") + " \"(unreadable: ...)\", in: " +
                columnList(t.columns) + ", " + sheetRowList(t) + " (" + t.firstReason + ").";
    }
    if (const Tally& t = unshownPictures_; t.count > 0) {
        text += gap + plural(t.count, "picture", "pictures") + " could not be shown; " +
                (t.count == 1 ? "its cell says" : "their cells say") + " \"(unreadable: ...)\", in: " +
                columnList(t.columns) + (t.rows.empty() ? "" : ", " + sheetRowList(t)) + " (" + t.firstReason + ").";
    }
    if (const Tally& t = cutTexts_; t.count > 0) {
        text += gap + plural(t.count, "text was", "texts were") +
                " longer than a cell holds (32,767 characters) and " + (t.count == 1 ? "was" : "were") +
                " cut to fit, in: " + columnList(t.columns) + (t.rows.empty() ? "" : ", " + sheetRowList(t)) + ".";
    }
    if (moved()) {
        text += gap + "The table has more rows than a worksheet holds: after the first " +
                groupedNumber(dataRowsPerSheet_) + " rows they went on in " + sheetName(1) +
                (sheets_ > 2 ? " to " + sheetName(sheets_ - 1) : std::string()) +
                ", each sheet starting with the header row.";
    }
    for (const std::string& notice : notices_) text += gap + notice;
    return text;
}

}  // namespace exporting
