#include "driver/FileReader.h"

#include "driver/Table.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace driver {

FileReader::FileReader(const std::filesystem::path& path) : name_(path.string()) {
    // Non-blocking, so that a FIFO or a device answers at once instead of
    // waiting for a writer; it is then refused as not a regular file.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd_ < 0)
        throw ReadError(name_ + ": cannot open the file (" + std::strerror(errno) + ")");
    struct stat info {};
    std::string problem;
    if (::fstat(fd_, &info) != 0)
        problem = "cannot read the file (" + std::string(std::strerror(errno)) + ")";
    else if (S_ISDIR(info.st_mode))
        problem = "is a folder, not a file";
    else if (!S_ISREG(info.st_mode))
        problem = "is not a regular file";
    if (!problem.empty()) {
        ::close(fd_);
        fd_ = -1;
        throw ReadError(name_ + ": " + problem);
    }
    // A regular file is read in the ordinary (blocking) way from here on.
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags != -1) ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
    size_ = static_cast<std::uint64_t>(info.st_size);
}

FileReader::~FileReader() {
    if (fd_ >= 0) ::close(fd_);
}

std::size_t FileReader::readAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t count) const {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(fd_, buffer + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            throw ReadError(name_ + ": read error at byte " + std::to_string(offset + done) + " (" +
                            std::strerror(errno) + ")");
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

void FileReader::read(Window& window, std::uint64_t offset, std::size_t count) const {
    // No room for bytes past the end the file had when opened: a window is
    // often asked for far more than a small table holds.
    count = static_cast<std::size_t>(std::min<std::uint64_t>(count, offset < size_ ? size_ - offset : 0));
    window.bytes_.resize(count);
    window.offset_ = offset;
    window.bytes_.resize(readAt(offset, window.bytes_.data(), count));
}

}  // namespace driver
