#include "workbook/BlobFolder.h"

#include "driver/Picture.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace workbook {
namespace {

constexpr std::size_t kMaxNameBytes = 64;

// Bytes of the well-formed UTF-8 sequence at text[at], or 0.
std::size_t sequenceLength(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return at + i < text.size() ? static_cast<unsigned char>(text[at + i]) : 0u; };
    const unsigned lead = byte(0);
    const auto continuation = [&](std::size_t i, unsigned low = 0x80, unsigned high = 0xBF) {
        return byte(i) >= low && byte(i) <= high;
    };
    if (lead >= 0xC2 && lead <= 0xDF) return continuation(1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        const bool second = lead == 0xE0 ? continuation(1, 0xA0) : lead == 0xED ? continuation(1, 0x80, 0x9F) : continuation(1);
        return second && continuation(2) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const bool second = lead == 0xF0 ? continuation(1, 0x90) : lead == 0xF4 ? continuation(1, 0x80, 0x8F) : continuation(1);
        return second && continuation(2) && continuation(3) ? 4 : 0;
    }
    return 0;
}

std::string lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

[[noreturn]] void fail(const std::filesystem::path& path, int error) {
    throw std::runtime_error("Could not write the file " + path.string() + ": " + std::strerror(error) + ".");
}

}  // namespace

std::string safeFileName(std::string_view name) {
    std::string out;
    for (std::size_t at = 0; at < name.size();) {
        const auto c = static_cast<unsigned char>(name[at]);
        if (c < 0x80) {
            const bool refused = c < 0x20 || c == 0x7F || std::strchr("/\\:*?\"<>|", c) != nullptr;
            out += refused ? '_' : static_cast<char>(c);
            ++at;
        } else if (const std::size_t length = sequenceLength(name, at); length > 0) {
            out.append(name.substr(at, length));
            at += length;
        } else {
            out += '_';
            ++at;
        }
    }
    if (out.size() > kMaxNameBytes) {
        std::size_t end = kMaxNameBytes;
        while (end > 0 && (static_cast<unsigned char>(out[end]) & 0xC0) == 0x80) --end;
        out.resize(end);
    }
    if (out.empty()) return "_";
    if (out.front() == '.') out.front() = '_';
    if (out.back() == '.' || out.back() == ' ') out.back() = '_';
    return out;
}

BlobFolder::BlobFolder(std::filesystem::path folder) : path_(std::move(folder)) {
    std::error_code error;
    std::filesystem::create_directories(path_, error);
    folder_ = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder_ < 0) {
        const int cause = errno;
        throw std::runtime_error("Could not make the folder " + path_.string() + ": " +
                                 (error ? error.message() : std::string(std::strerror(cause))) + ".");
    }
}

BlobFolder::~BlobFolder() {
    if (table_ >= 0) ::close(table_);
    if (folder_ >= 0) ::close(folder_);
}

void BlobFolder::startTable(std::string_view table, const std::vector<std::string>& fields,
                            const std::filesystem::path& output) {
    if (table_ >= 0) ::close(table_);
    table_ = -1;
    const std::string base = safeFileName(table);
    std::string name;
    for (int n = 1; table_ < 0; ++n) {
        name = n == 1 ? base : base + "-" + std::to_string(n);
        if (tables_.count(lower(name)) > 0) continue;
        if (::mkdirat(folder_, name.c_str(), 0777) != 0 && errno != EEXIST) fail(path_ / name, errno);
        // A symbolic link or a file in the way is passed over, never followed.
        table_ = ::openat(folder_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (table_ < 0 && errno != ELOOP && errno != ENOTDIR) fail(path_ / name, errno);
    }
    tables_.insert(lower(name));
    tablePath_ = path_ / name;

    fields_.clear();
    std::set<std::string> taken;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        std::string field = safeFileName(fields[i]);
        for (int n = 1; taken.count(lower(field)) > 0; ++n)
            field = safeFileName(fields[i]) + "-" + std::to_string(i + 1) + (n > 1 ? "-" + std::to_string(n) : "");
        taken.insert(lower(field));
        fields_.push_back(field);
    }

    std::error_code error;
    const std::filesystem::path from = std::filesystem::weakly_canonical(
        std::filesystem::absolute(output.has_parent_path() ? output.parent_path() : ".", error), error);
    const std::filesystem::path to = std::filesystem::weakly_canonical(std::filesystem::absolute(tablePath_, error), error);
    const std::filesystem::path relative = to.lexically_relative(from);
    prefix_ = (relative.empty() ? to : relative).generic_string();
}

std::string BlobFolder::write(std::int64_t row, std::size_t column, const driver::Bytes& value) {
    if (table_ < 0 || column >= fields_.size()) throw std::logic_error("BlobFolder::write outside a table's columns");
    const driver::BlobContent content = driver::blobContent(value);
    const std::string name = "row" + std::to_string(row) + "-" + fields_[column] + "." +
                             std::string(driver::imageExtension(content.format));
    const int file = ::openat(table_, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (file < 0) fail(tablePath_ / name, errno);
    int error = 0;
    for (std::size_t done = 0; done < content.size && error == 0;) {
        const ssize_t n = ::write(file, content.data + done, content.size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) error = n < 0 ? errno : ENOSPC;
        else done += static_cast<std::size_t>(n);
    }
    if (::close(file) != 0 && error == 0) error = errno;
    if (error != 0) {
        ::unlinkat(table_, name.c_str(), 0);
        fail(tablePath_ / name, error);
    }
    return prefix_ + "/" + name;
}

}  // namespace workbook
