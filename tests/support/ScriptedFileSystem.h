#pragma once
// An in-memory file system whose folders carry whatever attribute values,
// listing order and failures a test gives them.

#include "platform/FileSystem.h"

#include <map>
#include <vector>

namespace fakes {

class ScriptedFileSystem : public platform::FileSystem {
public:
    struct Folder {
        std::uint32_t attributes = platform::Directory;
        std::vector<QString> subfolders;  // names, in listing order
        std::vector<QString> files;
        int listingError = 0;             // a FileSystemError number, 0 for none
        int failAfter = 0;                // names listed before the error
        std::uint64_t inode = 0;          // 0: the folder's own
    };

    // Adds a folder (path without trailing "/") under an existing parent.
    Folder& add(const QString& path, std::uint32_t attributes = platform::Directory);

    bool hasModificationTime(const QString& path) const override;
    std::optional<std::uint32_t> attributes(const QString& path) const override;
    std::optional<std::pair<std::uint64_t, std::uint64_t>> folderIdentity(
        const QString& path) const override;
    bool isRootFolder(const QString& path) const override;
    void forEachSubFolder(const QString& folder,
                          const std::function<void(const QString&)>& visit) const override;
    std::vector<platform::FileName> listFiles(const QString& folder, const QString& pattern) const override;
    bool canOpenFile(const QByteArray& path) const override;
    bool holds(const QString& folder, const QString& path) const override {
        const QString outer = clean(folder), inner = clean(path);
        return inner == outer || inner.startsWith(outer == "/" ? outer : outer + "/");
    }
    bool folderExists(const QString& path) const override { return find(path) != nullptr; }
    void createFolder(const QString& path) override { add(path); }
    void copyFolder(const QString&, const QString&) override {}

    std::map<QString, Folder> folders;

private:
    static QString clean(QString path);
    const Folder* find(const QString& path) const;
};

}  // namespace fakes
