#pragma once
// The Paradox data source: the connection string for a folder of tables, the
// quick folder test, opening connections, and the list of tables under a folder.

#include "platform/Database.h"
#include "platform/Platform.h"
#include "shell/ListView.h"

#include <QString>

namespace datasource {

// The ODBC connection string for a folder of Paradox tables. The folder goes in
// as it is typed; one holding ";", "{" or "}" is put in braces ("}" doubled),
// so it cannot be read as further keys.
QString ParadoxConnectionString(const QString& folder);

// An open connection to the folder, with the cursor location set before it is
// opened. Throws (platform::DatabaseError) when it cannot be opened.
platform::Connection OpenParadoxConnection(const QString& folder, int cursorLocation);

// True when the folder itself (not its subfolders) holds at least one "*.db"
// file; false for an empty folder text or a folder that does not exist.
// Throws when the folder exists but cannot be listed.
bool ParadoxFolderHasTables(const platform::FileSystem& files, const QString& folder);

// The folder box the data source reads and may switch.
class FolderBox {
public:
    virtual ~FolderBox() = default;
    virtual QString folder() const = 0;
    // Sets the box as typing would, so the change is remembered at once.
    virtual void setFolder(const QString& folder) = 0;
};

// When the folder box's path holds a blank, offers to copy the folder into
// "TestDB" at the root of the program's drive and, on Yes, copies it there
// (replacing files of the same name) and points the box at the copy.
// `isSample` only chooses the prompt's word. Reports its own failures.
void CopyDB(bool isSample, FolderBox& box, platform::Platform& os, const QString& title);

// Fills `list` with the tables of `folder` and all its subfolders, breadth
// first: each "*.db" file's name in upper case with every ".DB" removed, files
// whose names begin with "~" left out, duplicates kept. Reports its own failures.
void AddTablesToParadoxListbox(shell::ListView& list, const QString& folder, platform::Platform& os);

}  // namespace datasource
