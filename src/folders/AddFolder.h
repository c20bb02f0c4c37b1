#pragma once
// Walking folders for the table discovery: the breadth-first subfolder scan,
// file listings by wildcard, and the file and name tests they apply.

#include "platform/Platform.h"

#include <QString>

#include <functional>
#include <vector>

namespace folders {

// Shows the folder dialog over `owner` with `title`, opened at `startFolder`
// when that folder exists. Returns the chosen folder's full path, or "" when
// the user cancels.
QString BrowseForFolder(platform::Platform& os, QWidget* owner, const QString& title,
                        const QString& startFolder);

// Extends `folders` (paths ending in "/") with their subfolders, level by level
// when `recurse` is set: the caller's entries first, then their subfolders
// grouped by parent, then the next level, and so on. Leaves out hidden system
// folders (attribute value exactly 22 or 1046, except the root) and all below
// them, names that are too long or hold characters the system code page
// refuses, and folders that cannot be listed. Every real folder is searched at
// most once, so links that lead back up the tree do not make the walk endless.
void GetSubDirectories2016(std::vector<QString>& folders, bool recurse, platform::Platform& os);

// Walks the folders that GetSubDirectories2016 (recursing) would add below
// `folder` (a path ending in "/"), level by level in the same order and by the
// same rules, and returns true at the first one for which `wanted` holds: the
// rest of the tree is not walked. Folders that cannot be listed are passed over.
bool FindFolderBelow(const QString& folder, const std::function<bool(const QString&)>& wanted,
                     platform::Platform& os);

// Names of the regular files in `folder` (with or without a trailing "/") that
// match `pattern`, ASCII letter case ignored, hidden files included, in the
// file system's listing order: each as its bytes and as text.
// Throws platform::FileSystemError when the folder cannot be listed.
std::vector<platform::FileName> GetFileList(const platform::FileSystem& files, QString folder,
                                            const QString& pattern);

// True when `path` (as text, or as the file system's bytes) names an existing
// regular file, or a link to one, that can be reached.
bool IsExistingFile(const platform::FileSystem& files, const QString& path);
bool IsExistingFile(const platform::FileSystem& files, const QByteArray& path);

// True when a character of `name`, taken in the Windows ANSI code page
// `codePage`, is a control character, a code from 127 to 159, a character the
// code page lacks ("?") or a double-byte character.
bool HasInvalidCharacters(const QString& name, int codePage);
bool HasInvalidCharacters(const QString& name);

// The ANSI code page a Windows system would use for the user's locale
// (LC_ALL, LC_CTYPE, LANG); 1252 without one.
int SystemAnsiCodePage();
int AnsiCodePageForLocale(const QString& locale);

}  // namespace folders
