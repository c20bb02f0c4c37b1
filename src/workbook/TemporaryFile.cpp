#include "workbook/TemporaryFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace workbook {
namespace {

constexpr std::size_t kBufferSize = std::size_t{1} << 18;
constexpr std::size_t kWindowSize = std::size_t{1} << 16;

}  // namespace

TemporaryFile::TemporaryFile(const std::filesystem::path& folder, std::string context) : context_(std::move(context)) {
    const std::filesystem::path where = folder.empty() ? std::filesystem::path(".") : folder;
    fd_ = ::open(where.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        // File systems without O_TMPFILE: a name of our own, removed at once.
        std::string name = (where / ".vellomar-XXXXXX").string();
        fd_ = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd_ < 0) fail("could not make a temporary file in " + where.string(), errno);
        ::unlink(name.c_str());
    }
    buffer_.reserve(kBufferSize);
}

TemporaryFile::~TemporaryFile() {
    if (fd_ >= 0) ::close(fd_);
}

void TemporaryFile::fail(const std::string& what, int error) const {
    throw std::runtime_error(context_ + ": " + std::strerror(error) + " (" + what + ").");
}

void TemporaryFile::append(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    if (buffer_.size() + size > kBufferSize) flush();
    if (size >= kBufferSize) {
        for (std::size_t done = 0; done < size;) {
            const ssize_t n = ::pwrite(fd_, bytes + done, size - done, static_cast<off_t>(stored_));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) fail("writing a temporary file", n < 0 ? errno : ENOSPC);
            done += static_cast<std::size_t>(n);
            stored_ += static_cast<std::uint64_t>(n);
        }
        return;
    }
    buffer_.insert(buffer_.end(), bytes, bytes + size);
}

void TemporaryFile::flush() {
    for (std::size_t done = 0; done < buffer_.size();) {
        const ssize_t n = ::pwrite(fd_, buffer_.data() + done, buffer_.size() - done, static_cast<off_t>(stored_));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail("writing a temporary file", n < 0 ? errno : ENOSPC);
        done += static_cast<std::size_t>(n);
        stored_ += static_cast<std::uint64_t>(n);
    }
    buffer_.clear();
}

void TemporaryFile::readFile(std::uint64_t offset, char* out, std::size_t count) {
    for (std::size_t done = 0; done < count;) {
        const ssize_t n = ::pread(fd_, out + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail("reading a temporary file", n < 0 ? errno : EIO);
        done += static_cast<std::size_t>(n);
    }
}

void TemporaryFile::read(std::uint64_t offset, void* out, std::size_t count) {
    if (offset > size() || count > size() - offset)
        throw std::logic_error("TemporaryFile::read beyond what was written");
    flush();
    auto* target = static_cast<char*>(out);
    if (count > kWindowSize) return readFile(offset, target, count);
    // Small reads come from a window read ahead.
    if (offset < windowAt_ || offset + count > windowAt_ + window_.size()) {
        window_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kWindowSize, stored_ - offset)));
        windowAt_ = offset;
        try {
            readFile(offset, window_.data(), window_.size());
        } catch (...) {
            window_.clear();
            throw;
        }
    }
    std::memcpy(target, window_.data() + (offset - windowAt_), count);
}

void TemporaryFile::clear() {
    buffer_.clear();
    window_.clear();
    windowAt_ = 0;
    stored_ = 0;
    if (::ftruncate(fd_, 0) != 0) fail("emptying a temporary file", errno);
}

}  // namespace workbook
