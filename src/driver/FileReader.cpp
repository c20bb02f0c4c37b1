#include "driver/FileReader.h"

#include "driver/Table.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace driver {

FileReader::FileReader(const std::filesystem::path& path) : name_(path.string()) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
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

FileReader::Mapping FileReader::map(std::uint64_t offset, std::size_t count) const {
    Mapping mapping;
    if (offset >= size_) return mapping;
    count = static_cast<std::size_t>(std::min<std::uint64_t>(count, size_ - offset));
    if (count == 0) return mapping;
    const auto page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    const std::uint64_t start = offset / page * page;
    const std::size_t length = static_cast<std::size_t>(offset - start) + count;
    void* base = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd_, static_cast<off_t>(start));
    if (base == MAP_FAILED) return mapping;
    mapping.base_ = base;
    mapping.length_ = length;
    mapping.data_ = static_cast<const std::uint8_t*>(base) + (offset - start);
    mapping.offset_ = offset;
    mapping.size_ = count;
    return mapping;
}

FileReader::Mapping::Mapping(Mapping&& other) noexcept { *this = std::move(other); }

FileReader::Mapping& FileReader::Mapping::operator=(Mapping&& other) noexcept {
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        base_ = std::exchange(other.base_, nullptr);
        length_ = std::exchange(other.length_, 0);
        offset_ = std::exchange(other.offset_, 0);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

FileReader::Mapping::~Mapping() { release(); }

void FileReader::Mapping::release() {
    if (base_) ::munmap(base_, length_);
    base_ = nullptr;
    data_ = nullptr;
}

}  // namespace driver
