#include "platform/FileSystem.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

QByteArray native(const QString& path) { return QFile::encodeName(path); }

// A path that holds a NUL cannot name anything.
bool usable(const QByteArray& path) { return !path.isEmpty() && !path.contains('\0'); }

int errorNumber(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return FileSystemError::PermissionDenied;
    case ENOENT:
    case ENOTDIR:
        return FileSystemError::PathNotFound;
    default:
        return FileSystemError::Other;
    }
}

[[noreturn]] void raise(int error, const QString& path) {
    const char* what = error == EACCES || error == EPERM ? "Permission denied"
                       : error == ENOENT || error == ENOTDIR ? "Path not found"
                                                             : std::strerror(error);
    throw FileSystemError(errorNumber(error), std::string(what) + ": " + path.toStdString());
}

QString withoutTrailingSlash(QString path) {
    while (path.size() > 1 && path.endsWith('/')) path.chop(1);
    return path;
}

// Kernel file systems that hold no user data; their mount points count as
// hidden system folders so a walk from "/" stays out of them.
bool isPseudoType(const std::string& type) {
    static const char* const kTypes[] = {
        "proc",     "sysfs",      "devtmpfs", "devpts",   "cgroup",      "cgroup2",
        "debugfs",  "tracefs",    "securityfs", "pstore", "bpf",         "configfs",
        "fusectl",  "mqueue",     "hugetlbfs", "binfmt_misc", "selinuxfs", "autofs",
        "efivarfs", "rpc_pipefs", "nsfs",
    };
    for (const char* t : kTypes)
        if (type == t) return true;
    return false;
}

// /proc/self/mounts escapes blanks and the like as octal (\040).
std::string unescapeMount(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string digits = field.substr(i + 1, 3);
            if (digits.find_first_not_of("01234567") == std::string::npos) {
                out += char(std::stoi(digits, nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

// Shell-style wildcard match ("*", "?") with ASCII letters compared without
// case; "?" stands for one whole UTF-8 character.
bool wildcardMatch(const char* pattern, const char* name) {
    const char* star = nullptr;
    const char* resume = nullptr;
    const auto next = [](const char* at) {
        ++at;
        while ((static_cast<unsigned char>(*at) & 0xC0) == 0x80) ++at;
        return at;
    };
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    while (*name) {
        if (*pattern == '*') {
            star = ++pattern;
            resume = name;
        } else if (*pattern == '?') {
            ++pattern;
            name = next(name);
        } else if (*pattern && lower(*pattern) == lower(*name)) {
            ++pattern;
            ++name;
        } else if (star) {
            pattern = star;
            name = resume = next(resume);
        } else {
            return false;
        }
    }
    while (*pattern == '*') ++pattern;
    return *pattern == 0;
}

// What a directory entry is, following a link; DT_UNKNOWN when it cannot be told.
unsigned char entryType(int folder, const dirent* entry) {
    if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) return entry->d_type;
    struct stat st;
    if (::fstatat(folder, entry->d_name, &st, 0) != 0) return DT_UNKNOWN;
    return S_ISREG(st.st_mode) ? DT_REG : S_ISDIR(st.st_mode) ? DT_DIR : DT_UNKNOWN;
}

FileName fileName(const char* bytes) {
    const QByteArray name(bytes);
    return {name, QString::fromUtf8(name)};
}

// Sorts names as a directory listing reads: by their characters upper-cased
// one by one (simple case mapping, so "ß" stays itself), then by their bytes.
void sortAsListed(std::vector<FileName>& names) {
    std::vector<std::pair<std::vector<char32_t>, FileName>> keyed;
    keyed.reserve(names.size());
    for (FileName& name : names) {
        std::vector<char32_t> key;
        for (const char32_t c : name.text.toUcs4()) key.push_back(QChar::toUpper(c));
        keyed.emplace_back(std::move(key), std::move(name));
    }
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        if (a.first != b.first) return a.first < b.first;
        return a.second.bytes < b.second.bytes;
    });
    for (size_t i = 0; i < names.size(); ++i) names[i] = std::move(keyed[i].second);
}

}  // namespace

bool LinuxFileSystem::hasModificationTime(const QString& path) const {
    const QByteArray p = native(path);
    struct stat st;
    return usable(p) && ::stat(p.constData(), &st) == 0;
}

bool LinuxFileSystem::isPseudoDevice(std::uint64_t device) const {
    if (!pseudoDevices_) {
        pseudoDevices_.emplace();
        std::ifstream mounts("/proc/self/mounts");
        std::string line;
        while (std::getline(mounts, line)) {
            std::istringstream fields(line);
            std::string source, mountPoint, type;
            struct stat st;
            if (fields >> source >> mountPoint >> type && isPseudoType(type) &&
                ::stat(unescapeMount(mountPoint).c_str(), &st) == 0)
                pseudoDevices_->insert(std::uint64_t(st.st_dev));
        }
    }
    return pseudoDevices_->count(device) > 0;
}

std::optional<std::uint32_t> LinuxFileSystem::attributes(const QString& path) const {
    // Without the trailing "/", so that a link is seen as a link.
    QByteArray p = native(path);
    while (p.size() > 1 && p.endsWith('/')) p.chop(1);
    struct stat target, entry;
    if (!usable(p) || ::lstat(p.constData(), &entry) != 0) return std::nullopt;
    std::uint32_t value = 0;
    if (S_ISLNK(entry.st_mode)) {
        value |= Link;
        if (::stat(p.constData(), &target) != 0) return value;  // dangling link
    } else {
        target = entry;
    }
    value |= S_ISDIR(target.st_mode) ? Directory : Archive;
    if (::access(p.constData(), W_OK) != 0) value |= ReadOnly;
    const char* name = p.constData() + p.lastIndexOf('/') + 1;
    if (name[0] == '.' && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) value |= Hidden;
    if (S_ISDIR(target.st_mode) && isPseudoDevice(target.st_dev))
        return (value & Link) | Directory | Hidden | System;
    return value;
}

std::optional<std::pair<std::uint64_t, std::uint64_t>> LinuxFileSystem::folderIdentity(
    const QString& path) const {
    const QByteArray p = native(path);
    struct stat st;
    if (!usable(p) || ::stat(p.constData(), &st) != 0) return std::nullopt;
    return std::make_pair(std::uint64_t(st.st_dev), std::uint64_t(st.st_ino));
}

bool LinuxFileSystem::isRootFolder(const QString& path) const {
    return withoutTrailingSlash(path) == "/";
}

void LinuxFileSystem::forEachSubFolder(const QString& folder,
                                       const std::function<void(const QString&)>& visit) const {
    const QByteArray p = native(folder);
    if (!usable(p)) raise(ENOENT, folder);
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(p.constData()), ::closedir);
    if (!dir) raise(errno, folder);
    const int fd = ::dirfd(dir.get());
    std::vector<FileName> names;
    int failure = 0;
    for (;;) {
        errno = 0;
        const dirent* e = ::readdir(dir.get());
        if (!e) {
            failure = errno;
            break;
        }
        if (entryType(fd, e) == DT_DIR) names.push_back(fileName(e->d_name));
    }
    sortAsListed(names);
    for (const FileName& name : names) visit(name.text);
    if (failure != 0) raise(failure, folder);
}

std::vector<FileName> LinuxFileSystem::listFiles(const QString& folder, const QString& pattern) const {
    std::vector<FileName> names;
    const QByteArray p = native(folder);
    if (!usable(p)) return names;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(p.constData()), ::closedir);
    if (!dir) {
        if (errno == ENOENT || errno == ENOTDIR) return names;
        raise(errno, folder);
    }
    const QByteArray glob = native(pattern);
    const int fd = ::dirfd(dir.get());
    while (const dirent* e = ::readdir(dir.get()))
        if (wildcardMatch(glob.constData(), e->d_name) && entryType(fd, e) == DT_REG)
            names.push_back(fileName(e->d_name));
    sortAsListed(names);
    return names;
}

bool LinuxFileSystem::canOpenFile(const QByteArray& path) const {
    if (!usable(path)) return false;
    // O_PATH reaches the file without opening it for reading, so a FIFO or a
    // device cannot make this wait.
    const int fd = ::open(path.constData(), O_PATH | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    const bool isFile = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return isFile;
}

bool LinuxFileSystem::holds(const QString& folder, const QString& path) const {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path outer = fs::weakly_canonical(fs::absolute(native(folder).toStdString(), ec), ec);
    if (ec) return false;
    const fs::path inner = fs::weakly_canonical(fs::absolute(native(path).toStdString(), ec), ec);
    if (ec) return false;
    // Compared element by element, so "/a/b" does not hold "/a/bc"; a trailing
    // "/" leaves an empty last element, which holds nothing of its own.
    auto o = outer.begin(), i = inner.begin();
    for (; o != outer.end() && !o->empty(); ++o, ++i)
        if (i == inner.end() || *o != *i) return false;
    return true;
}

bool LinuxFileSystem::folderExists(const QString& path) const {
    const QByteArray p = native(path);
    struct stat st;
    return usable(p) && ::stat(p.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

void LinuxFileSystem::createFolder(const QString& path) {
    const QByteArray p = native(path);
    if (!usable(p)) raise(ENOENT, path);
    if (::mkdir(p.constData(), 0777) != 0) raise(errno, path);
}

void LinuxFileSystem::copyFolder(const QString& source, const QString& target) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path from = native(source).toStdString();
    const fs::path to = native(target).toStdString();
    if (!fs::is_directory(from, ec)) raise(ENOENT, source);
    if (holds(source, target))
        throw FileSystemError(FileSystemError::Other, "Cannot copy a folder into itself: " + source.toStdString() +
                                                          " holds " + target.toStdString());
    // Folders and regular files (links to them followed) only: a FIFO, socket
    // or device holds no table, and copying one could block or end the copy.
    // A failure is raised once the rest has been copied.
    std::error_code first;
    const auto note = [&](const std::error_code& error) {
        if (error && !first) first = error;
    };
    // Links to folders are followed, but no real folder is copied twice, so a
    // link back up the tree cannot make the copy endless.
    std::set<std::pair<dev_t, ino_t>> seen;
    const auto firstVisit = [&](const fs::path& folder) {
        struct stat st;
        return ::stat(folder.c_str(), &st) != 0 || seen.insert({st.st_dev, st.st_ino}).second;
    };
    firstVisit(from);
    firstVisit(to);
    fs::recursive_directory_iterator it(from, fs::directory_options::follow_directory_symlink, ec), end;
    note(ec);
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code step;
        const fs::path copy = to / it->path().lexically_relative(from);
        if (it->is_directory(step)) {
            if (firstVisit(it->path()))
                fs::create_directories(copy, step);
            else
                it.disable_recursion_pending();
        } else if (it->is_regular_file(step))
            fs::copy_file(it->path(), copy, fs::copy_options::overwrite_existing, step);
        note(step);
    }
    note(ec);
    if (first) raise(first.value(), source);
}

}  // namespace platform
