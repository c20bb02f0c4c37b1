#include "support/ScriptedFileSystem.h"

#include <QRegularExpression>

namespace fakes {
QString ScriptedFileSystem::clean(QString path) {
    while (path.size() > 1 && path.endsWith('/')) path.chop(1);
    return path;
}

ScriptedFileSystem::Folder& ScriptedFileSystem::add(const QString& path, std::uint32_t attributes) {
    const QString key = clean(path);
    Folder& folder = folders[key];
    folder.attributes = attributes;
    if (key != "/") {
        const QString parent = key.left(key.lastIndexOf('/'));
        folders[parent.isEmpty() ? "/" : parent].subfolders.push_back(key.section('/', -1));
    }
    return folder;
}

const ScriptedFileSystem::Folder* ScriptedFileSystem::find(const QString& path) const {
    const auto it = folders.find(clean(path));
    return it == folders.end() ? nullptr : &it->second;
}

bool ScriptedFileSystem::hasModificationTime(const QString& path) const {
    return find(path) || canOpenFile(path.toUtf8());
}

std::optional<std::uint32_t> ScriptedFileSystem::attributes(const QString& path) const {
    if (const Folder* f = find(path)) return f->attributes;
    if (canOpenFile(path.toUtf8())) return platform::Archive;
    return std::nullopt;
}

std::optional<std::pair<std::uint64_t, std::uint64_t>> ScriptedFileSystem::folderIdentity(
    const QString& path) const {
    const auto it = folders.find(clean(path));
    if (it == folders.end()) return std::nullopt;
    const auto own = std::uint64_t(std::distance(folders.begin(), it)) + 1000;
    return std::make_pair(std::uint64_t(1), it->second.inode ? it->second.inode : own);
}

bool ScriptedFileSystem::isRootFolder(const QString& path) const { return clean(path) == "/"; }

void ScriptedFileSystem::forEachSubFolder(const QString& folder,
                                          const std::function<void(const QString&)>& visit) const {
    const Folder* f = find(folder);
    if (!f) throw platform::FileSystemError(platform::FileSystemError::PathNotFound, "Path not found");
    int listed = 0;
    for (const QString& name : f->subfolders) {
        if (f->listingError && listed >= std::max(0, f->failAfter)) break;
        visit(name);
        ++listed;
    }
    if (f->listingError) throw platform::FileSystemError(f->listingError, "listing failed");
}

std::vector<platform::FileName> ScriptedFileSystem::listFiles(const QString& folder, const QString& pattern) const {
    std::vector<platform::FileName> names;
    const Folder* f = find(folder);
    if (!f) return names;
    const QRegularExpression match(QRegularExpression::wildcardToRegularExpression(pattern),
                                   QRegularExpression::CaseInsensitiveOption);
    for (const QString& name : f->files)
        if (match.match(name).hasMatch()) names.push_back({name.toUtf8(), name});
    return names;
}

bool ScriptedFileSystem::canOpenFile(const QByteArray& path) const {
    const QString p = clean(QString::fromUtf8(path));
    const Folder* parent = find(p.left(p.lastIndexOf('/')).isEmpty() ? "/" : p.left(p.lastIndexOf('/')));
    if (!parent) return false;
    const QString name = p.section('/', -1);
    return std::find(parent->files.begin(), parent->files.end(), name) != parent->files.end();
}

}  // namespace fakes
