#pragma once
// File and folder queries and the few changes the program makes (creating a
// folder, copying a folder). Paths use "/".

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <stdexcept>
#include <utility>
#include <vector>

namespace platform {

// Folder attribute bits, as the folder scan compares them.
enum Attribute : std::uint32_t {
    ReadOnly = 1,
    Hidden = 2,
    System = 4,
    Directory = 16,
    Archive = 32,
    Link = 1024,
    Compressed = 2048,
};

// A failed file-system operation. `number` follows the classic run-time error
// numbers the folder scan tells apart: 70 permission denied, 76 path not found.
class FileSystemError : public std::runtime_error {
public:
    enum : int { PermissionDenied = 70, PathNotFound = 76, Other = 75 };
    FileSystemError(int number, const std::string& message)
        : std::runtime_error(message), number_(number) {}
    int number() const { return number_; }

private:
    int number_;
};

// A name in a folder listing: its bytes as the file system spells them (what
// opens the file), and the text shown for it (bytes that are not UTF-8 show
// as U+FFFD, so two names may show alike).
struct FileName {
    QByteArray bytes;
    QString text;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // True when the path's modification time can be read (file or folder).
    virtual bool hasModificationTime(const QString& path) const = 0;
    // The whole attribute value, or nothing when it cannot be read.
    virtual std::optional<std::uint32_t> attributes(const QString& path) const = 0;
    // Identifies the real folder behind a path (device and inode), so a walk can
    // tell a link back to a folder it has already seen. Nothing when unreadable.
    virtual std::optional<std::pair<std::uint64_t, std::uint64_t>> folderIdentity(
        const QString& path) const = 0;
    // The root of the whole tree ("/").
    virtual bool isRootFolder(const QString& path) const = 0;
    // Calls `visit` with the name of each subfolder, in listing order. Throws
    // FileSystemError, possibly after some names were visited.
    virtual void forEachSubFolder(const QString& folder,
                                  const std::function<void(const QString&)>& visit) const = 0;
    // The regular files (and links to them) in `folder` whose names match the
    // wildcard `pattern` ("*" and "?", ASCII letter case ignored), hidden files
    // included, in listing order. A folder that does not exist lists nothing.
    // Throws FileSystemError for a folder that exists but cannot be listed.
    virtual std::vector<FileName> listFiles(const QString& folder, const QString& pattern) const = 0;
    // True when the path, given as the file system's bytes, names an existing
    // regular file (or a link to one) that can be reached. Never blocks.
    virtual bool canOpenFile(const QByteArray& path) const = 0;

    // True when `path` is the folder `folder` or lies inside it, links
    // resolved; the part of `path` that does not exist yet counts as written.
    virtual bool holds(const QString& folder, const QString& path) const = 0;

    virtual bool folderExists(const QString& path) const = 0;
    // Creates one folder whose parent exists. Throws FileSystemError.
    virtual void createFolder(const QString& path) = 0;
    // Copies the whole contents of `source` (regular files and subfolders at
    // any depth; no FIFOs, sockets or devices) into the existing folder
    // `target`, replacing files of the same name. Throws FileSystemError after
    // copying what it could, and at once for a target that is the source or
    // lies inside it, links resolved (that copy would never end).
    virtual void copyFolder(const QString& source, const QString& target) = 0;
};

class LinuxFileSystem : public FileSystem {
public:
    bool hasModificationTime(const QString& path) const override;
    // The mount points and folders of kernel file systems (/proc, /sys, /dev)
    // are exactly Directory | Hidden | System (with Link when reached through a
    // link), whoever asks: a read-only bit must not let a walk into them.
    std::optional<std::uint32_t> attributes(const QString& path) const override;
    std::optional<std::pair<std::uint64_t, std::uint64_t>> folderIdentity(
        const QString& path) const override;
    bool isRootFolder(const QString& path) const override;
    // Listing order is by name, letter case ignored, as a directory listing
    // reads: not the order the directory happens to store its entries in.
    void forEachSubFolder(const QString& folder,
                          const std::function<void(const QString&)>& visit) const override;
    std::vector<FileName> listFiles(const QString& folder, const QString& pattern) const override;
    bool canOpenFile(const QByteArray& path) const override;
    bool holds(const QString& folder, const QString& path) const override;
    bool folderExists(const QString& path) const override;
    void createFolder(const QString& path) override;
    void copyFolder(const QString& source, const QString& target) override;

private:
    bool isPseudoDevice(std::uint64_t device) const;
    mutable std::optional<std::set<std::uint64_t>> pseudoDevices_;
};

}  // namespace platform
