#pragma once
// A file written under a hidden name beside its own ("Book1.xlsx" grows as
// ".Book1.xlsx.part-123-0") and given its name only when complete, so a
// reader never sees half a file. Dropped unfinished, it is removed.
//
// Writing does not throw: a failure is kept (the first one) and every later
// write fails too, so C libraries can write through it; check() or commit()
// then throw std::runtime_error naming the file and the cause. Small writes
// are gathered before they reach the file, so a failure may show only at a
// later write, a seek or commit().
//
// A path that is a symbolic link is written through: the file it leads to is
// replaced and the link stays, as the shell's ">" does. An existing file is
// replaced only when the user may write it (cp's rule; a read-only file is
// refused) and only when it is a regular file; it keeps its permissions.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace workbook {

class OutputFile {
public:
    // `noun` names the file in messages ("the workbook"). Throws
    // std::runtime_error when the file cannot be made.
    OutputFile(std::filesystem::path path, std::string noun);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool write(const void* data, std::size_t size);
    bool seek(std::uint64_t offset);
    std::uint64_t tell() const { return position_; }
    bool failed() const { return error_ != 0; }

    // Throws when a write has failed.
    void check() const;
    // Throws with `cause` (when no write failed first, which then names the cause).
    [[noreturn]] void fail(const std::string& cause) const;
    // Closes the file and gives it its name. Throws on failure, and then the
    // file is gone.
    void commit();
    // Closes and removes the file (nothing happens after commit()).
    void discard() noexcept;

    const std::filesystem::path& path() const { return path_; }
    const std::filesystem::path& partPath() const { return part_; }

private:
    [[noreturn]] void throwError(int error) const;
    bool writeOut(const char* bytes, std::size_t size);
    bool flush();

    std::filesystem::path path_;
    std::filesystem::path target_;  // path_, or the file the link path_ leads to
    std::filesystem::path part_;
    std::string noun_;
    int fd_ = -1;
    std::uint64_t position_ = 0;
    std::uint64_t end_ = 0;
    int error_ = 0;
    bool committed_ = false;
    int slot_ = -1;  // in the list removeUnfinishedFiles() reads
    std::vector<char> buffer_;  // written, not yet in the file
};

// Removes the unfinished file of every OutputFile alive. Safe in a signal
// handler: it only unlinks, and takes no lock. (Up to 16 files at a time are
// known to it.)
void removeUnfinishedFiles() noexcept;

}  // namespace workbook
