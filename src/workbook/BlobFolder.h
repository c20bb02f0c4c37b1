#pragma once
// The folder an export writes its blob values into, one file each, byte for
// byte what driver::blobContent keeps (a picture from its image signature
// on), so a person finds each by table, row and field:
//
//     DIR/BIOLIFE/row3-Graphic.bmp     DIR/EVENTS/row12-Event_Photo.bmp
//
// Each table gets a folder of its own, named after it; each file is named
// after the table's row (1 for the first) and the field, with the extension
// of its image format (.bmp, .png, .jpg, .gif), else .bin.
//
// Names come from the table, so they are input like any other: in each name
// '/', '\', control characters and the characters Windows file systems
// refuse become '_', as do a leading '.' (no ".", "..", or hidden files) and
// a trailing space or '.'; an empty name is "_"; a long one is cut to 64
// bytes at a character boundary. Two tables, or two fields of a table, whose
// names come out alike (letter case ignored) get "-2", "-3", ... (fields:
// their column number). So every file of one export has a name of its own,
// and none is overwritten by another of the same export; a file left by an
// earlier export under the same name is replaced. Folders and files are made
// below DIR only, never through a symbolic link found there.
//
// No Qt. Every failure throws std::runtime_error naming the file and the cause.

#include "driver/Value.h"

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace workbook {

class BlobFolder {
public:
    // Makes `folder` (and its parents) when missing.
    explicit BlobFolder(std::filesystem::path folder);
    ~BlobFolder();
    BlobFolder(const BlobFolder&) = delete;
    BlobFolder& operator=(const BlobFolder&) = delete;

    // The next table's files: `fields` are the names of the columns written,
    // in order; `output` the file whose cells link to them (paths are
    // relative to its folder).
    void startTable(std::string_view table, const std::vector<std::string>& fields, const std::filesystem::path& output);
    // Writes the value of table row `row` (1-based), column `column`
    // (0-based, as in `fields`), and gives its path relative to the output's
    // folder, '/' between names ("blobs/BIOLIFE/row3-Graphic.bmp").
    std::string write(std::int64_t row, std::size_t column, const driver::Bytes& value);

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    int folder_ = -1;                   // DIR
    int table_ = -1;                    // the current table's folder
    std::filesystem::path tablePath_;
    std::string prefix_;                // the table folder relative to the output's folder, with '/'
    std::vector<std::string> fields_;   // each column's part of a file name
    std::set<std::string> tables_;      // the table folders of this export, lower case
};

// A name as a file system takes it, by the rules above (without the
// numbering of names that come out alike).
std::string safeFileName(std::string_view name);

}  // namespace workbook
