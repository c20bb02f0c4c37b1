#pragma once
// The folders workbooks are written in: one private folder per workbook in
// the temporary folder, named "vellomar-XXXXXX". A shown workbook stays in
// its folder, because the spreadsheet application reads it after this
// program has moved on; folders older than a day are removed at the next
// start, so they are not left behind for ever.

#include <QString>

#include <chrono>

namespace platform {

inline constexpr const char* kWorkbookFolderPrefix = "vellomar-";
inline constexpr std::chrono::hours kWorkbookFolderLifetime{24};

// Throws TemporaryFolderError, naming the folder and the cause, when no
// workbook folder can be made in `temporaryFolder`.
void CheckTemporaryFolder(const QString& temporaryFolder);

// A new folder in `temporaryFolder` that only this user can enter. Throws
// TemporaryFolderError naming the folder and the cause.
QString MakeWorkbookFolder(const QString& temporaryFolder);

// Removes this user's workbook folders in `temporaryFolder` whose last change
// is older than `age`, with what they hold. Anything that cannot be removed
// is left as it is. Returns how many folders went.
int RemoveOldWorkbookFolders(const QString& temporaryFolder, std::chrono::seconds age);

}  // namespace platform
