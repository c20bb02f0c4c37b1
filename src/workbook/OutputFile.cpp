#include "workbook/OutputFile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace workbook {
namespace {

namespace fs = std::filesystem;

std::atomic<unsigned> partCounter{0};
// Writes smaller than this are gathered (zip headers come a few bytes at a time).
constexpr std::size_t kBufferSize = std::size_t{1} << 16;

// The unfinished files removeUnfinishedFiles() knows. A slot is free (0),
// being filled (1), names a file (2), or is being removed by a signal
// handler (3), which then ends the process: whoever finds it at 3 waits.
struct Unfinished {
    std::atomic<int> state{0};
    char path[PATH_MAX];
};
static_assert(std::atomic<int>::is_always_lock_free);
Unfinished unfinished[16];

int claimSlot() {
    for (int i = 0; i < int(std::size(unfinished)); ++i)
        if (int expected = 0; unfinished[i].state.compare_exchange_strong(expected, 1)) return i;
    return -1;
}

// Sets the slot to `to` once no handler is removing its file.
void settle(int slot, int to) {
    std::atomic<int>& state = unfinished[slot].state;
    for (int now = state.load(); !(now != 3 && state.compare_exchange_weak(now, to));)
        if (now == 3) {
            ::sched_yield();
            now = state.load();
        }
}

void note(int slot, const fs::path& part) {
    if (slot < 0) return;
    settle(slot, 1);
    if (part.native().size() >= PATH_MAX) return;
    std::memcpy(unfinished[slot].path, part.c_str(), part.native().size() + 1);
    unfinished[slot].state.store(2);
}

void release(int& slot) {
    if (slot >= 0) settle(slot, 0);
    slot = -1;
}

// The file a chain of symbolic links ends in (which may not exist yet).
fs::path linkTarget(fs::path path) {
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(path, error))) break;
        const fs::path link = fs::read_symlink(path, error);
        if (error) break;
        path = link.is_absolute() ? link : path.parent_path() / link;
    }
    return path;
}

}  // namespace

void removeUnfinishedFiles() noexcept {
    for (Unfinished& file : unfinished)
        if (int expected = 2; file.state.compare_exchange_strong(expected, 3)) ::unlink(file.path);
}

OutputFile::OutputFile(std::filesystem::path path, std::string noun)
    : path_(std::move(path)), target_(linkTarget(path_)), noun_(std::move(noun)) {
    struct stat existing {};
    const bool replacing = ::stat(target_.c_str(), &existing) == 0;
    if (!replacing && errno != ENOENT) throwError(errno);
    if (replacing && !S_ISREG(existing.st_mode))
        throw std::runtime_error("Could not write " + noun_ + " " + path_.string() + ": it is not a regular file.");
    if (replacing && ::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) throwError(errno);

    const std::string stem = "." + target_.filename().string() + ".part-" + std::to_string(::getpid()) + "-";
    slot_ = claimSlot();
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        part_ = target_.parent_path() / (stem + std::to_string(partCounter++));
        note(slot_, part_);
        fd_ = ::open(part_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) {
        const int error = errno;
        release(slot_);
        throwError(error);
    }
    if (replacing) (void)::fchmod(fd_, existing.st_mode & 07777);
}

OutputFile::~OutputFile() { discard(); }

bool OutputFile::write(const void* data, std::size_t size) {
    if (error_ != 0 || fd_ < 0) return false;
    if (buffer_.size() + size > kBufferSize && !flush()) return false;
    const auto* bytes = static_cast<const char*>(data);
    if (size >= kBufferSize) {
        if (!writeOut(bytes, size)) return false;
    } else {
        if (buffer_.capacity() < kBufferSize) buffer_.reserve(kBufferSize);
        buffer_.insert(buffer_.end(), bytes, bytes + size);
    }
    position_ += size;
    if (position_ > end_) end_ = position_;
    return true;
}

bool OutputFile::writeOut(const char* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd_, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            error_ = written < 0 ? errno : ENOSPC;
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool OutputFile::flush() {
    const bool ok = buffer_.empty() || writeOut(buffer_.data(), buffer_.size());
    buffer_.clear();
    return ok;
}

bool OutputFile::seek(std::uint64_t offset) {
    if (error_ != 0 || fd_ < 0 || !flush()) return false;
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
        flush();
        check();
        // A network file system may report a failed write only here.
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0 && errno != EINTR) throwError(errno);
        if (::rename(part_.c_str(), target_.c_str()) != 0) throwError(errno);
        committed_ = true;
        release(slot_);
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
    release(slot_);
}

}  // namespace workbook
