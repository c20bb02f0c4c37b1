#pragma once
// Walking folders for the table discovery: the breadth-first subfolder scan,
// file listings by wildcard, and the file and name tests they apply.

#include "platform/Platform.h"

#include <QString>

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

// Bare names of the files in `folder` (with or without a trailing "/") that
// match `pattern`, letter case ignored, hidden files included, folders never.
// Throws platform::FileSystemError when the folder cannot be listed.
std::vector<QString> GetFileList(const platform::FileSystem& files, QString folder,
                                 const QString& pattern);

// True when `path` names an existing file (not a folder) that can be opened.
bool IsExistingFile(const platform::FileSystem& files, const QString& path);

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
