#pragma once
// The .mb file beside a table, which holds blob values too long for their
// record. Looked up case-insensitively; a missing or damaged file only makes
// the affected values fail (read() throws), never the table.

#include "driver/Descrambler.h"
#include "driver/FileReader.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace driver {

class BlobFile {
public:
    // `key` is the table's scramble key (0 = plain): an encrypted table's .mb
    // is scrambled as a whole, header block included.
    BlobFile(const std::filesystem::path& tableFile, std::uint32_t key);

    // The .mb next to `tableFile` whatever the case of its name, if there is one.
    static std::optional<std::filesystem::path> find(const std::filesystem::path& tableFile);

    // The bytes of the blob that a record's descriptor points at: `reference`
    // is the offset/slot word, `length` the length the record claims. Throws
    // ReadError (naming the .mb file and offset) when the value cannot be read.
    std::vector<std::uint8_t> read(std::uint32_t reference, std::uint32_t length) const;
    // Why read() fails, in a few words: the file is missing, cannot be read, or
    // (when it can) the value in it is damaged.
    const char* problemInBrief() const;

private:
    // Reads [offset, offset + count) descrambled; throws when the file is shorter.
    std::vector<std::uint8_t> readRange(std::uint64_t offset, std::size_t count,
                                        const char* what) const;
    [[noreturn]] void fail(std::uint64_t offset, const std::string& what) const;

    std::unique_ptr<FileReader> file_;
    std::string problem_;  // why there is no usable file
    bool found_ = false;   // a file of the name is there
    std::optional<Descrambler> descrambler_;
};

}  // namespace driver
