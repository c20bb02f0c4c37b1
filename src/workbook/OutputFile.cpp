#include "workbook/OutputFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace workbook {
namespace {

std::atomic<unsigned> partCounter{0};

}  // namespace

OutputFile::OutputFile(std::filesystem::path path, std::string noun) : path_(std::move(path)), noun_(std::move(noun)) {
    const std::string stem = "." + path_.filename().string() + ".part-" + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        part_ = path_.parent_path() / (stem + std::to_string(partCounter++));
        fd_ = ::open(part_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) throwError(errno);
}

OutputFile::~OutputFile() { discard(); }

bool OutputFile::write(const void* data, std::size_t size) {
    if (error_ != 0 || fd_ < 0) return false;
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd_, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            error_ = written < 0 ? errno : ENOSPC;
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
        position_ += static_cast<std::uint64_t>(written);
    }
    if (position_ > end_) end_ = position_;
    return true;
}

bool OutputFile::seek(std::uint64_t offset) {
    if (error_ != 0 || fd_ < 0) return false;
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
        error_ = errno;
        return false;
    }
    position_ = offset;
    return true;
}

void OutputFile::check() const {
    if (error_ != 0) throwError(error_);
}

void OutputFile::fail(const std::string& cause) const {
    check();
    throw std::runtime_error("Could not write " + noun_ + " " + path_.string() + ": " + cause);
}

void OutputFile::throwError(int error) const {
    std::string cause = std::strerror(error);
    throw std::runtime_error("Could not write " + noun_ + " " + path_.string() + ": " + cause + ".");
}

void OutputFile::commit() {
    if (committed_) return;
    try {
        check();
        // A network file system may report a failed write only here.
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0 && errno != EINTR) throwError(errno);
        if (::rename(part_.c_str(), path_.c_str()) != 0) throwError(errno);
        committed_ = true;
    } catch (...) {
        discard();
        throw;
    }
}

void OutputFile::discard() noexcept {
    if (committed_) return;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!part_.empty()) ::unlink(part_.c_str());
    part_.clear();
}

}  // namespace workbook
