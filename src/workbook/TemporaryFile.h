#pragma once
// An unnamed file in a folder, for data that waits until it can be written
// where it belongs: appended in order, read back as often as needed. It has
// no name from the start (O_TMPFILE, else a name removed at once), so it is
// gone when closed, however the program ends.
//
// Every failure throws std::runtime_error: `context` (e.g. "Could not write
// the workbook /tmp/x/Book1.xlsx"), then the cause.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace workbook {

class TemporaryFile {
public:
    TemporaryFile(const std::filesystem::path& folder, std::string context);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    void append(const void* data, std::size_t size);
    // Bytes appended so far.
    std::uint64_t size() const { return stored_ + buffer_.size(); }
    // Reads `count` bytes at `offset` (below size()) into `out`.
    void read(std::uint64_t offset, void* out, std::size_t count);
    // Empties the file for the next use.
    void clear();

private:
    void flush();
    void readFile(std::uint64_t offset, char* out, std::size_t count);
    [[noreturn]] void fail(const std::string& what, int error) const;

    std::string context_;
    int fd_ = -1;
    std::uint64_t stored_ = 0;      // bytes in the file itself
    std::vector<char> buffer_;      // appended, not yet in the file
    std::vector<char> window_;      // read ahead
    std::uint64_t windowAt_ = 0;
};

}  // namespace workbook
