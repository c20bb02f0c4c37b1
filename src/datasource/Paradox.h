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

// Fills `list` with the tables of `folder` and all its subfolders, breadth
// first: each "*.db" file's name in upper case with every ".DB" removed, files
// whose names begin with "~" left out, duplicates kept. Reports its own failures.
void AddTablesToParadoxListbox(shell::ListView& list, const QString& folder, platform::Platform& os);

}  // namespace datasource
